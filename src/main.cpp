// The client's entry point: everything happens in ProgramStart.
#include "app/ProgramStart.h"

int main(int argc, char** argv)
{
    return ProgramStart(argc, argv);
}
