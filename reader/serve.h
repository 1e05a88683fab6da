#pragma once

#include <functional>

namespace reader {

/// What a build of the reader may add to its work, at two moments: `started` before
/// anything else (while the environment is still there), `confined` once the file is open
/// and the reader confined, before the file's first byte is parsed (given the file's
/// descriptor, -1 on Windows). The installed reader adds nothing; the confinement tests'
/// build tries there what a crafted file might make the reader do.
struct Hooks {
    std::function<void()> started;
    std::function<void(int fd)> confined;
};

/// quorbix-reader FILE: reads the catalog FILE (Jet 3, Jet 4.0 or ACE) for the program, in
/// a process of its own so that a damaged or hostile file can only ever cost that process.
/// Answers on stdout in the frames of jet/protocol.h and takes requests on stdin until it
/// closes. Returns the process's exit code.
int serve(int argc, char **argv, const Hooks &hooks = {});

}  // namespace reader
