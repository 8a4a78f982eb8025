#include "download/core/download_client.h"

const char kFetchHeaders[] = "Accept: */*\r\n\r\n";
