#pragma once
// Loading a form resource into the designer and saving it back.
#include <memory>
#include <string>

#include "Classes.h"

// Reads `text` as a form being designed (every component csDesigning). When the root's class is
// not known to this program (the application's own form class, which the designer does not link),
// the root is a stand-in: a plain TForm that keeps the resource's class name, so that it is
// written back unchanged and the components inside load as usual (their classes must be
// registered). The in-memory screen is set to the form's PixelsPerInch first, so the form keeps
// the size it was designed at instead of being scaled to the screen. Raises the reader's
// exceptions (EReadError, EClassNotFound, ...).
std::unique_ptr<TComponent> LoadDesignForm(const std::string& text);

// Reads the whole file; raises EInOutError naming the file on failure.
std::string ReadTextFile(const std::string& path);

// Replaces the file's contents with `text` all at once: writes a temporary file beside it, then
// renames it over the original, so the original is either untouched or wholly replaced. Keeps the
// original's permission bits. Raises EInOutError naming the file on failure.
void ReplaceTextFile(const std::string& path, const std::string& text);
