#pragma once

// Paths for the wide-character Win32 file functions; only the Windows sources include this.

#include <QString>

#include <string>

// The path with the system's separators. It is cleaned first: without its trailing "/", a
// folder's path names the entry itself.
std::wstring nativePath(const QString &path);
