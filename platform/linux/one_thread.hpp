// Tesseract's OpenMP thread pool makes a page several times slower on a machine with few
// cores, and libgomp reads its thread limit only from the environment the process started
// with. So a program that recognises text starts itself again once with the limit set.
#pragma once

namespace plenk {

// When OMP_THREAD_LIMIT is not already "1": sets it and replaces the process with `program`
// run with `argv` (the same arguments). Returns only when no restart is needed or the restart
// failed, in which case the program goes on with the default pool.
void restartWithOneOpenMpThread(const char* program, char** argv);

// The running executable, for restarting the program itself.
inline constexpr const char* SELF_EXE = "/proc/self/exe";

} // namespace plenk
