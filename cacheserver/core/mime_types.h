// The Content-Type of each file extension the server knows (lower case,
// without the dot); any other extension is served as "text/html".
#pragma once

#include <map>
#include <string>

void FillMimeTypes(std::map<std::string, std::string>& types);
