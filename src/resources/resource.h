// Resource ids of the configuration dialog (shared by the .rc file and the code).
#pragma once

#define IDD_CONFIGURATION 101
#define IDC_BRIGHTNESS_SLIDER 1000
#define IDC_SPEED_SLIDER 1002
#define IDC_MODE_2D 1008
#define IDC_MODE_3D 1009
