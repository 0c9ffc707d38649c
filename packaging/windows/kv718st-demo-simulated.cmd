@echo off
rem SPDX-FileCopyrightText: 2026 The kv718st-demo developers
rem SPDX-License-Identifier: MIT
rem Starts kv718st-demo on the simulated reader in the folder simulated beside
rem this script: its folder comes first on PATH, so Windows finds its
rem Veltronanew125K.dll unless one lies beside the program itself.
set "PATH=%~dp0simulated;%PATH%"
start "" "%~dp0kv718st-demo.exe" %*
