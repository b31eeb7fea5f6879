// Resource ids and texts shared by the code and the resource script.
#pragma once

#define IDS_CLASS_NAME 1
#define IDS_TITLE 2
#define IDM_EXIT 1000
#define IDI_SMALL 101

#define TEXT_CLASS_NAME "Simple"
#define TEXT_TITLE "Simple Example Application"
