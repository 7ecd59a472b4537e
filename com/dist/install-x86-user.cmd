@echo off
rem Registers the 32-bit component for the current user only (no administrator rights needed).
setlocal
set "DLL=%~dp0x86\fr_norvane1c83.dll"
set "REGSVR=%SystemRoot%\System32\regsvr32.exe"
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" set "REGSVR=%SystemRoot%\SysWOW64\regsvr32.exe"
"%REGSVR%" /n /i:user "%DLL%"
rem A path with parentheses would break a parenthesised block: jump instead.
if errorlevel 1 goto failed
echo Done: "%DLL%"
exit /b 0
:failed
echo Failed: "%DLL%"
exit /b 1
