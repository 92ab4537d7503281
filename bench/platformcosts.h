#pragma once

// Prints what this machine charges a thread, in CPU microseconds, for the operations an
// exchange is made of: a one-byte write and read on a pseudo-terminal, a wake by an arriving
// byte, and a wake by a timer. The exchange figures depend on these more than on anything in
// the program: a virtual machine may charge ten times what bare hardware does.
void MeasurePlatformCosts();
