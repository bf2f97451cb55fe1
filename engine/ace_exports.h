// The stand-in engine's C exports, declared from the one list of engine functions.
#pragma once

#include "ace32/ace_api.h"

#if defined(_WIN32) && defined(KX_ENGINE_DLL)
#define ACE_EXPORT __declspec(dllexport)
#else
#define ACE_EXPORT
#endif

extern "C" {
#define ACE_DECLARE_EXPORT(name, params, args) ACE_EXPORT AceResult ACE_CALL name params;
ACE_FUNCTIONS(ACE_DECLARE_EXPORT)
#undef ACE_DECLARE_EXPORT
}
