# Sourced by scripts/test and scripts/run: which Windows build can run under Wine here.
# GT3ErrLog.exe is a 32-bit program, run by Wine's 32-bit side. Some kernels run
# 64-bit user code only (no IA-32 emulation: a 32-bit execve fails with ENOEXEC),
# and there Wine's 32-bit side cannot start at all; the Windows tests then run
# from a 64-bit build of the same sources under wine64 (preset windows-x64).
gt3_runnable_windows_preset() {
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo windows
  else
    echo windows-x64
  fi
}
