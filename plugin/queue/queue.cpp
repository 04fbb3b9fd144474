#include "queue/queue.h"

int iCommandStatus_CommandsQueue = 0;

// Not built yet: does nothing.
void FlushCommandInQueue() {}
