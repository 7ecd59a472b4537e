@echo off
rem Removes the per-machine registration of the 64-bit component (run as administrator).
setlocal
set "DLL=%~dp0x64\fr_norvane1c83.dll"
set "REGSVR=%SystemRoot%\System32\regsvr32.exe"
if exist "%SystemRoot%\Sysnative\regsvr32.exe" set "REGSVR=%SystemRoot%\Sysnative\regsvr32.exe"
"%REGSVR%" /u "%DLL%"
rem A path with parentheses would break a parenthesised block: jump instead.
if errorlevel 1 goto failed
echo Done: "%DLL%"
exit /b 0
:failed
echo Failed: "%DLL%"
exit /b 1
