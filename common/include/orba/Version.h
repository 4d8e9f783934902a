#pragma once
/* The version numbers of the three modules, kept only here. The version
   resources, the viewer's version message and the filter's build number are
   made from them, and the installer reads its version from the resources.
   Plain preprocessor text: the resource compiler reads this file too. */

#define ORBA_VERSION_STR2(x) #x
#define ORBA_VERSION_STR(x) ORBA_VERSION_STR2(x)
#define ORBA_VERSION_DOTTED(a, b, c, d) \
  ORBA_VERSION_STR(a) "." ORBA_VERSION_STR(b) "." ORBA_VERSION_STR(c) "." ORBA_VERSION_STR(d)

/* ORBA.exe, the viewer; the product's version. */
#define ORBA_VERSION_MAJOR 4
#define ORBA_VERSION_MINOR 0
#define ORBA_VERSION_PATCH 0
#define ORBA_VERSION_BUILD 1290

/* ORBAProc.ax, the filter. */
#define ORBAPROC_VERSION_MAJOR 2
#define ORBAPROC_VERSION_MINOR 0
#define ORBAPROC_VERSION_PATCH 0
#define ORBAPROC_VERSION_BUILD 590

/* TRV_CCTV.dll, the Kavrelo support library. */
#define TRV_CCTV_VERSION_MAJOR 1
#define TRV_CCTV_VERSION_MINOR 0
#define TRV_CCTV_VERSION_PATCH 0
#define TRV_CCTV_VERSION_BUILD 12

#define ORBA_VERSION_TEXT                                                         \
  ORBA_VERSION_DOTTED(ORBA_VERSION_MAJOR, ORBA_VERSION_MINOR, ORBA_VERSION_PATCH, \
                      ORBA_VERSION_BUILD)
#define ORBAPROC_VERSION_TEXT                                                                 \
  ORBA_VERSION_DOTTED(ORBAPROC_VERSION_MAJOR, ORBAPROC_VERSION_MINOR, ORBAPROC_VERSION_PATCH, \
                      ORBAPROC_VERSION_BUILD)
#define TRV_CCTV_VERSION_TEXT                                                                 \
  ORBA_VERSION_DOTTED(TRV_CCTV_VERSION_MAJOR, TRV_CCTV_VERSION_MINOR, TRV_CCTV_VERSION_PATCH, \
                      TRV_CCTV_VERSION_BUILD)
