// The operating system's side of output files: a file written under a
// temporary name in its own directory and put in place by a rename only
// once it is complete, so that a conversion that ends early never destroys
// the images of an earlier run.
#pragma once

#include <cstdio>
#include <string>

namespace coffhex {

// One output file. `temp_name` is empty when the file is written directly
// under its final name (a FIFO, a device, a name whose directory takes no
// new files).
struct StagedFile {
    std::string final_name;    // the name as given (for messages)
    std::string temp_name;     // the file being written
    std::string replace_name;  // the file it replaces: the final name, or where its link leads
    bool staged() const { return !temp_name.empty(); }
};

// Opens `name` for writing ("wb" or "w"): under a temporary name beside it
// when `name` is absent or a regular file (a symbolic link is followed to
// the file it names), else the name itself. The temporary file gets the
// mode of the file it replaces, or that of a new file. On failure returns
// nullptr with errno set as the open of the final name would set it.
FILE* open_staged(const std::string& name, bool binary, StagedFile& file);

// Renames a staged file over its final name. False with errno set when
// the rename failed (the temporary file is removed then).
bool commit_staged(StagedFile& file);

// Removes a staged file's temporary file; the final name is not touched.
void discard_staged(StagedFile& file);

// Writes out and closes a stream that has been written. Returns the first
// error of the file: `earlier_error` when it is not 0, else that of the
// flush, of the stream's error flag (EIO) or of the close; 0 when the file
// was written whole.
int close_written_stream(FILE* stream, int earlier_error);

// Removes every temporary file still staged in the process. Safe in a
// signal handler: it only reads a list that is published with single
// pointer stores and whose nodes are no longer freed once it has begun,
// and calls unlink.
void remove_staged_files_on_fault();

}  // namespace coffhex
