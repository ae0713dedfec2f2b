@echo off
rem Configures, builds and runs the test suite on Windows with MSVC. Run it from a Developer
rem Command Prompt for Visual Studio, with QUORVANE_GTEST_SOURCE naming a GoogleTest source tree.
rem The tests that need drive D: get it as a scratch folder (subst) when that letter is free; a
rem drive in use is never touched, and those tests then fail saying so. Drive F:, a tiny file
rem system for the full-disk test under Wine, is not made here: that test is skipped.
rem   tools\test.cmd                 everything
rem   tools\test.cmd -R Registry     only the tests whose names match (passed on to ctest)
setlocal
cd /d "%~dp0.." || exit /b 1
if not defined QUORVANE_GTEST_SOURCE (
    echo error: set QUORVANE_GTEST_SOURCE to a GoogleTest source tree 1>&2
    exit /b 2
)
set "QUORVANE_SCRATCH_DRIVES="
set "scratch=%TEMP%\quorvane-test-drives"
call :map D
cmake --preset windows-msvc || goto :end
cmake --build --preset windows-msvc || goto :end
ctest --preset windows-msvc %*
:end
set status=%errorlevel%
for %%d in (%QUORVANE_SCRATCH_DRIVES%) do subst %%d /d >nul 2>&1
exit /b %status%

:map
if exist %1:\ (
    echo note: drive %1: is in use; the tests that need it will not touch it 1>&2
    exit /b 0
)
mkdir "%scratch%\%1" 2>nul
subst %1: "%scratch%\%1" && set "QUORVANE_SCRATCH_DRIVES=%QUORVANE_SCRATCH_DRIVES% %1:"
exit /b 0
