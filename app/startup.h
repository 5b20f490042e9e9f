#pragma once

// Closes what a program started from a folder others may write would otherwise take from that
// folder: on Windows, DLLs loaded by name come from the system folder alone, never from the
// current folder or the program's own. Called first thing in main().
void hardenProcess();
