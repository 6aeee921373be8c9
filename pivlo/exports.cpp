// The plug-in's exports, as installer scripts name them ("Destory" included).
// Each hands its call to the process's plug-in core; no exception crosses
// into the installer.
#include "plugin.h"

#include <platform/nsis.h>

namespace nsis = platform::nsis;

extern "C" {

__attribute__((visibility("default"))) void ZAVMO_NSIS_CALL Init(nsis::WindowHandle, int stringSize, char* variables,
                                                                 nsis::StackItem** stackTop, nsis::ExtraParameters*)
{
    try {
        pivlo::processPlugin().Init({stringSize, variables, stackTop});
    } catch (...) {
    }
}

__attribute__((visibility("default"))) void ZAVMO_NSIS_CALL RecordPoint(nsis::WindowHandle, int stringSize,
                                                                        char* variables, nsis::StackItem** stackTop,
                                                                        nsis::ExtraParameters*)
{
    try {
        pivlo::processPlugin().RecordPoint({stringSize, variables, stackTop});
    } catch (...) {
    }
}

__attribute__((visibility("default"))) void ZAVMO_NSIS_CALL Destory(nsis::WindowHandle, int stringSize, char* variables,
                                                                    nsis::StackItem** stackTop, nsis::ExtraParameters*)
{
    try {
        pivlo::processPlugin().Destory({stringSize, variables, stackTop});
    } catch (...) {
    }
}

} // extern "C"
