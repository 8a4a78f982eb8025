// Resource identifiers shared by the .rc files and the code.
#pragma once

#define IDI_KESTRUN 128
#define IDS_APP_TITLE 128
#define IDS_LOCAL_VERSION 1016
