# Cross build for 64-bit Windows, for one purpose only: timing the benchmarks on a
# machine whose kernel cannot execute 32-bit programs (no IA-32 emulation), where
# Wine's 32-bit side runs under an emulator and its timings mean nothing
# (GT3_WIN64_BENCH_BUILD, scripts/bench). Its GT3ErrLog.exe is not the product.
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-i686.cmake)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
