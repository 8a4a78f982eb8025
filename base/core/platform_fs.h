// The two file-system questions the platform-neutral code needs answered.
#pragma once

// True when the path names an existing file or folder.
bool FsExists(const char* path);
// 0 when the folder was created now, -1 otherwise (including when it exists).
int FsMakeDir(const char* path);
// Replaces `to` with `from` in one step, so a reader sees either file whole.
bool FsReplaceFile(const char* from, const char* to);
