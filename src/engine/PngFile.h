// PNG files of surfaces: screenshots of the driver and golden pictures of the tests.
#pragma once
#include <optional>
#include <string>

#include "engine/Surface.h"

// Writes the surface as an 8-bit RGB PNG; false when the file cannot be written.
bool WritePng(const std::string& path, const Surface& surface);
// Reads any PNG as 0x00RRGGBB pixels (alpha dropped); nothing when unreadable.
std::optional<Surface> ReadPng(const std::string& path);
