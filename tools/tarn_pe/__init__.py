"""Puts Tarn Logon on a Windows PE image (a WIM file) without Windows, tells what an image holds,
and takes it off again.

Needs wimlib-imagex (Debian: wimtools), hivex's Python binding (Debian: python3-hivex, which lands
in the system Python, /usr/bin/python3) and, for the Secure Boot check, the cryptography module
(Debian: python3-cryptography). See tarn-pe.txt or the administrator's guide.

The release archives ship this package as one file, tarn-pe, a zipapp that tools/make_package.py
builds; in the source tree tools/tarn-pe runs it from here.
"""
