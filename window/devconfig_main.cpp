#include "window/mainform.h"
#include "window/tapplication.h"

#include <memory>

int main(int argc, char* argv[])
{
    return TApplication::Run(argc, argv, [] { return std::make_unique<TMainWindow>(); });
}
