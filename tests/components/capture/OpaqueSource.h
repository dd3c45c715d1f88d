#pragma once
// A client source whose class is complete only in OpaqueSource.cpp: a test that uses it checks that
// TSourceLink attaches and detaches where the source class is merely declared, as a component
// header that declares its source class forward does.
#include <string>

#include "ClientSlots.h"

class TOpaqueSource;

TOpaqueSource* MakeOpaqueSource();
void FreeOpaqueSource(TOpaqueSource* source);
// SetSource needs the complete class, so it is done where the class is known.
void SetOpaqueSource(TSourceLink<TOpaqueSource>& link, TOpaqueSource* source);
// The calls the source received, as "add remove ...".
std::string OpaqueSourceCalls(const TOpaqueSource* source);
