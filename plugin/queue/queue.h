// The command queue: commands the plug-in issues on its own behalf, drained by a client timer.
#pragma once

// 2 while the queue is being emptied for good (unload, memory cleaning).
extern int iCommandStatus_CommandsQueue;

void FlushCommandInQueue();
