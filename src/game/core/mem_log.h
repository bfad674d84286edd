#pragma once

// Logs the engine heap's used, free and largest free figures in KB under a label whose format takes
// the three numbers, e.g. "Used Mem Game Start= %dk   Free Mem = %dk   Largest Free = %dk\n".
void PrintMemoryLine(const char* labelFormat);
