#pragma once
// ORBA's settings key under HKEY_CURRENT_USER, shared by the viewer and the
// filter (and the tests that look at what they stored).
namespace orba {
inline constexpr char kSettingsKey[] = "Software\\Opticorva\\ORBA";
}  // namespace orba
