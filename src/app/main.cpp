#include "PanelProgram.h"

int main(int argc, char** argv)
{
    return RunPanelProgram(argc, argv);
}
