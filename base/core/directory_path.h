#pragma once

// Creates every missing folder of a path whose folders are separated by "\"
// or "/". Returns -1 at the first folder that is missing and cannot be made,
// else the result of creating the whole path: 0 if its last folder was made
// now, -1 if it already existed. A null path returns 0.
int MakeDirectoryPath(const char* path);
