#pragma once

// Starts the desktop application (optional FILE argument) and runs its event loop.
int runDesktopApplication(int argc, char **argv);
