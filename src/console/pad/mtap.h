// Stand-in for the multitap library: four slots behind each controller port.
#pragma once

// 1 on success; 0 when the multitap module ("MTAPMAN.IRX") is not loaded or the port is not 0..3.
int sceMtapInit();
int sceMtapPortOpen(int port);
int sceMtapPortClose(int port);

namespace console {
// True when sceMtapPortOpen succeeded for the port: its slots 1..3 can then be reached.
bool MtapPortOpen(int port);
void MtapReset();
}  // namespace console
