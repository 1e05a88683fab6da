#pragma once

#include <string>

/// Confines the reader to the one thing it does once its file is open: reading that file
/// and answering on its pipes. Whatever a crafted file makes of the reader after this, it
/// cannot open, connect, start or signal anything, nor write anywhere but the reply pipe.
namespace reader::sandbox {

/// Keeps descriptors 0 (requests), 1 (replies) and `fileFd`; closes every other one,
/// empties the environment, sets no-new-privileges, limits open files to those kept, new
/// processes to none and written file size to nothing, then allows only the system calls
/// the read path makes: any other call ends the process (SIGSYS). On Windows, takes the
/// lowest integrity level, drops every privilege and forbids runnable memory. Returns ""
/// when confined (or where the system offers neither), else why not.
std::string enter(int fileFd);

}  // namespace reader::sandbox
