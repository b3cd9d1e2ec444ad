// Test helper: takes the panel mutex of the machine named by argv[1] and holds it until it is
// killed. Writes "H" when it holds the mutex, "E" when another process has it.

#include "PanelMutex.h"

#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    CPanelMutex mutex;
    const bool held = mutex.Create(argv[1]) == CPanelMutex::CreateResult::Created;
    const char reply = held ? 'H' : 'E';
    if (write(STDOUT_FILENO, &reply, 1) != 1 || !held)
        return 1;
    for (;;)
        pause();
}
