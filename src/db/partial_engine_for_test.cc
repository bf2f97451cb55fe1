// A stand-in for an engine DLL of the wrong kind: it exports only the first engine function.
#include "ace32/ace_api.h"

extern "C" __declspec(dllexport) AceResult ACE_CALL
    AdsConnect60(const char*, uint16_t, const char*, const char*, uint32_t, AceHandle* connection) {
  *connection = 1;
  return 0;
}
