#pragma once
// The form resource: a text tree of components and their published properties.
//
//   object MainForm: TMainForm
//     Caption = 'Audio Sampling'
//     Font.Name = 'MS Sans Serif'
//     object WaveView1: TWaveView
//       Align = alTop
//       Source = Recorder1
//     end
//   end
//
// Values are integers (decimal, or hexadecimal after '$'), 'quoted strings' (a quote inside is
// doubled; #nn adds a character by code), identifiers (enumeration values, colour names, True and
// False, component names) and sets in brackets. Dotted names reach into sub-objects. References to
// components are resolved once the whole resource has been read, so a reference to a component
// further down works.
#include <string>

#include "Classes.h"

// Reads `text` into the existing `root`, whose class must be the one the resource names: creates
// the components it lists (owned by `root`), sets every property in the order written, resolves
// references, then calls Loaded on root and every component created. Raises EReadError (or
// EClassNotFound) naming the line and the fault; then every component the read created has been
// destroyed again.
void ReadComponentRes(const std::string& text, TComponent* root);

// Creates the root from the class the resource names (which must be registered with RegisterClass
// or be a field class of ...) and reads into it. `designing` marks the tree csDesigning before any
// property is set. The caller owns the result.
TComponent* ReadComponent(const std::string& text, TComponent* owner, bool designing = false);

// Writes `root` and the components it owns, each property in declaration order, leaving out every
// value equal to its declared default.
std::string WriteComponent(const TComponent* root);
