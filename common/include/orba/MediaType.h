#pragma once
// Ownership of AM_MEDIA_TYPE records and their format blocks.
#include <windows.h>

#include <strmif.h>

#include <memory>

namespace orba {

// Frees the format block and the object reference of a media type, leaving the
// record itself (which may live on the stack or inside another object).
void FreeMediaType(AM_MEDIA_TYPE& mt);
// Frees a media type allocated with CoTaskMemAlloc, as the platform hands them out.
void DeleteMediaType(AM_MEDIA_TYPE* mt);
// Deep copy; the target must not own anything yet.
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
// A CoTaskMemAlloc'ed deep copy, as IEnumMediaTypes::Next and IPin hand out.
AM_MEDIA_TYPE* CreateMediaTypeCopy(const AM_MEDIA_TYPE* source);

// Owns an AM_MEDIA_TYPE* that the platform allocated (IAMStreamConfig::GetFormat,
// IEnumMediaTypes::Next, IMediaSample::GetMediaType).
class MediaTypePtr {
 public:
  MediaTypePtr() = default;
  explicit MediaTypePtr(AM_MEDIA_TYPE* mt) : mt_(mt) {}
  MediaTypePtr(const MediaTypePtr&) = delete;
  MediaTypePtr& operator=(const MediaTypePtr&) = delete;
  MediaTypePtr(MediaTypePtr&& o) noexcept : mt_(o.Release()) {}
  MediaTypePtr& operator=(MediaTypePtr&& o) noexcept {
    if (this != std::addressof(o)) Reset(o.Release());
    return *this;
  }
  ~MediaTypePtr() { Reset(); }

  AM_MEDIA_TYPE** operator&() {
    Reset();
    return &mt_;
  }
  AM_MEDIA_TYPE* operator->() const { return mt_; }
  AM_MEDIA_TYPE* Get() const { return mt_; }
  explicit operator bool() const { return mt_ != nullptr; }
  AM_MEDIA_TYPE* Release() {
    AM_MEDIA_TYPE* mt = mt_;
    mt_ = nullptr;
    return mt;
  }
  void Reset(AM_MEDIA_TYPE* mt = nullptr) {
    if (mt_) DeleteMediaType(mt_);
    mt_ = mt;
  }

 private:
  AM_MEDIA_TYPE* mt_ = nullptr;
};

}  // namespace orba
