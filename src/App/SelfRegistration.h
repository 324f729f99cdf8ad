#pragma once
// The "register" and "unregister" switches: the document-type and server entries under the
// classes root of the settings store. Nothing on this system reads them; they document the types
// the program handles, and unregister removes exactly what register wrote.

// The class id, programmatic id and format names are those the embedded object's data carries.
#include "OverSrcs/documents/OleData.h"

#include <string>

// Writes the entries. False with `error` set (a system message) when the store cannot be written.
bool RegisterDocumentTypes(std::string& error);
// Removes the entries (missing ones are not an error) and the keys they leave empty.
bool UnregisterDocumentTypes(std::string& error);
