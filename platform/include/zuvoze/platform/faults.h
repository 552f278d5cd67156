// Fault injection for crash-safety tests: a hook called before every operation
// that changes a file (profile writes, copies, moves, deletes, text writes and
// appends, text-stream opens and writes). A test installs it in a forked child
// and ends the child with _exit() after N operations, then checks that what the
// dead process left is whole. No hook is set in the programs.
#pragma once
#include <functional>
#include <string>

namespace zuvoze::plat {

using MutationHook = std::function<void(const char* operation, const std::string& path)>;
void setMutationHook(MutationHook hook);  // nullptr removes it
// Called by the backends before each changing operation.
void beforeMutation(const char* operation, const std::string& path);

}  // namespace zuvoze::plat
