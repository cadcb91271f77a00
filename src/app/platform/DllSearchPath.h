#pragma once

// Restricts where libraries are loaded from to the system folder, for every later load of the
// process. A downloaded setup program usually sits in the Downloads folder beside whatever
// else was downloaded; a library placed there must never be loaded in place of a system one.
// False when the platform lacks the restriction (the current directory is still left out).
bool RestrictDllSearchPath();
