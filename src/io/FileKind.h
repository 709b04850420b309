#pragma once

// What kind of file a stat mode names ("a folder", "a FIFO", "a character device", ...), for
// the refusal of anything but a regular file by the readers and the writers.
const char *fileKindOf(unsigned mode);
