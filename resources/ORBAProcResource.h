#pragma once
// Resource ids of ORBAProc.ax: the property page's dialog and title, and its
// controls.
#define IDD_ORBAPROC_PAGE 102
#define IDS_ORBAPROC_TITLE 101

#define IDC_SAVE_IMAGE 1004
#define IDC_FLIP_HORIZONTAL 1010
#define IDC_FLIP_VERTICAL 1011
#define IDC_AREA_TOP 1012
#define IDC_AREA_LEFT 1013
#define IDC_AREA_BOTTOM 1014
#define IDC_AREA_RIGHT 1015
#define IDC_DX 1016
#define IDC_DY 1017
#define IDC_AREA_OFF 1018
#define IDC_STATUS 1019
#define IDC_AREA_FULL 1020
#define IDC_SET_AREA 1021
#define IDC_BEGIN_GDI 1022
#define IDC_DIRECTDRAW 1023
