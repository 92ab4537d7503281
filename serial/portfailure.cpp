#include "serial/portfailure.h"

TPortFailure TPortFailure::Of(const TCommsPort& port)
{
    TPortFailure failure;
    failure.Kind = port.LastErrorKind();
    failure.Text = port.LastSystemError();
    if (failure.Text.empty())
        failure.Text = port.LastDiagnostic();
    return failure;
}
