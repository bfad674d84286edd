#include "console/iop/sif_rpc.h"

#include <cstring>

#include "console/iop/audio_module.h"
#include "console/iop/iop.h"

namespace console {
namespace {

struct RpcServer {
    uint32_t id;
    IopRpcFunction function;
};

constexpr int kMaxServers = 16;
// The audio module is resident: the game binds its servers in a loop that never gives up.
constexpr int kResident = 2;
RpcServer g_servers[kMaxServers] = {{kAmmMemoryServer, AmmMemoryServe}, {kAmmMusicServer, AmmMusicServe}};
int g_serverCount = kResident;

IopRpcObserver g_observer = nullptr;
void* g_observerUser = nullptr;

// The server's receive buffer: the largest record any server takes is the fetch batch.
constexpr int kReceiveBytes = 4096;
alignas(16) uint8_t g_receive[kReceiveBytes];

RpcServer* Find(uint32_t id) {
    for (int i = 0; i < g_serverCount; ++i)
        if (g_servers[i].id == id) return &g_servers[i];
    return nullptr;
}

}  // namespace

bool IopRegisterRpcServer(uint32_t id, IopRpcFunction function) {
    if (!function || Find(id) || g_serverCount >= kMaxServers) return false;
    g_servers[g_serverCount++] = {id, function};
    return true;
}

void IopRpcReset() {
    g_serverCount = kResident;
}

void IopRpcSetObserver(IopRpcObserver observer, void* user) {
    g_observer = observer;
    g_observerUser = user;
}

}  // namespace console

using namespace console;

int sceSifInitRpc(unsigned int) {
    return 0;
}

int sceSifBindRpc(sceSifClientData* client, unsigned int rpcNumber, unsigned int) {
    if (!client) return -1;
    RpcServer* s = Find(rpcNumber);
    client->serve = s;
    client->server = rpcNumber;
    return s ? 0 : -1;
}

int sceSifCallRpc(sceSifClientData* client, unsigned int fno, unsigned int, const void* send, int ssize,
                  void* receive, int rsize, sceSifEndFunc end, void* endParam) {
    if (!client || !client->serve || ssize < 0 || rsize < 0 || ssize > kReceiveBytes) return -1;
    const auto* server = static_cast<const RpcServer*>(client->serve);
    client->lastFunction = fno;
    if (ssize && send) std::memcpy(g_receive, send, static_cast<size_t>(ssize));
    if (g_observer) g_observer(server->id, fno, g_receive, ssize, g_observerUser);
    const void* answer = server->function(fno, g_receive, ssize);
    if (answer && receive && rsize) std::memcpy(receive, answer, static_cast<size_t>(rsize));
    if (end) end(endParam);
    return 0;
}

int sceSifCheckStatRpc(sceSifClientData*) {
    return 0;
}

void sceSifSetDChain() {}
