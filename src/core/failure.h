// failure.h --
//
//     One row of a module's closed table of failures, free of Tcl so that
//     plain C++ cores and their tests can name them.

#pragma once

namespace kelb {

// The message scripts see and the condition of the error code
// {KELB <module> <condition> ?detail?} they trap on. Each module keeps its
// rows in one table, with a comment on when each is raised, and its manual
// page lists every condition of that table.
struct Failure {
    const char *message;
    const char *condition;
};

}  // namespace kelb
