#pragma once
// Where the program's process looks for DLLs loaded by name.

namespace gt3::app {

// Restricts every later load of a DLL by bare name, the program's own or a
// system DLL's, to System32: nothing is taken from the exe's folder (often
// Downloads) or the current one. Call it first: the restriction holds for the
// whole process. Returns whether the system could restrict the search (Windows 8,
// or Windows 7 with KB2533623); otherwise only the current folder leaves the order.
bool LoadDllsFromSystem32Only() noexcept;

}  // namespace gt3::app
