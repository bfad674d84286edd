// Remote calls from the main processor to servers on the I/O processor. There is no second processor: a
// call copies the bytes sent into the server's receive buffer, runs the server's function at once and
// copies its answer back. A call made without waiting runs the same way (nothing the game does depends on
// the delay), so a client is never left busy. Binding always answers at once: the resident servers (the
// audio module's two) are there from power-on, and tests may register more.
#pragma once

#include <cstdint>

inline constexpr unsigned int SIF_RPCM_NOWAIT = 0x01;

struct sceSifClientData {
    uint32_t command = 0;
    void* serve = nullptr;  // the bound server (non-null once bound): what a client polls
    uint32_t server = 0;    // the server's id
    uint32_t lastFunction = 0;
};

using sceSifEndFunc = void (*)(void*);

// 0 when the server exists (the client is then bound), negative otherwise (serve stays null).
int sceSifBindRpc(sceSifClientData* client, unsigned int rpcNumber, unsigned int mode);
// Runs function `fno` of the bound server with `ssize` bytes of `send`; up to `rsize` bytes of the answer
// go to `receive`. `end`, when given, is called once the call is done. Negative for an unbound client or a
// negative size.
int sceSifCallRpc(sceSifClientData* client, unsigned int fno, unsigned int mode, const void* send, int ssize,
                  void* receive, int rsize, sceSifEndFunc end, void* endParam);
// 0: no call of this client is running.
int sceSifCheckStatRpc(sceSifClientData* client);
// The receive chain of the DMA channel from the I/O processor: nothing to set up here.
void sceSifSetDChain();

namespace console {

// A server's function: the call's function number and the received bytes (the server's own buffer, which
// it may write); returns the bytes to send back, or null when it sends nothing.
using IopRpcFunction = const void* (*)(unsigned int fno, void* data, int size);

// Adds a server (tests); false when the id is taken or the table is full.
bool IopRegisterRpcServer(uint32_t id, IopRpcFunction function);
// Drops the servers tests registered; the resident ones stay.
void IopRpcReset();

// Watches every call (tests): server id, function number and the bytes sent.
using IopRpcObserver = void (*)(uint32_t server, unsigned int fno, const void* data, int size, void* user);
void IopRpcSetObserver(IopRpcObserver observer, void* user);

}  // namespace console
