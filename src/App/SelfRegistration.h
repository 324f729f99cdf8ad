#pragma once
// The "register" and "unregister" switches: the document-type and server entries under the
// classes root of the settings store. Nothing on this system reads them; they document the types
// the program handles, and unregister removes exactly what register wrote.

#include <string>

// The program's own fixed class id and its names.
inline constexpr const char* kKorvalineClassId = "{6B1F3C2A-4E8D-4B7A-9C35-2F0D8E71A4C6}";
inline constexpr const char* kKorvalineProgId = "Tessaron.Korvaline";
inline constexpr const char* kKorvalineUserType = "Korvaline Equation";
inline constexpr const char* kKorvalineFormatName = "Korvaline Expression";

// Writes the entries. False with `error` set (a system message) when the store cannot be written.
bool RegisterDocumentTypes(std::string& error);
// Removes the entries (missing ones are not an error) and the keys they leave empty.
bool UnregisterDocumentTypes(std::string& error);
