#pragma once

// Brings up the system library in its order: debug font (absent in this build), heap, stdio, math.
void x_Init(int argc, char** argv);
