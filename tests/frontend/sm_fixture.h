// Screen-manager test rig: screens built in engine-heap memory (root, then buttons chained as its
// children, links by button index), a back end that serves them and records drawing, and a screen
// procedure that logs every message and runs an optional message map.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/sys/heap.h"
#include "frontend/sm/sm_controls.h"
#include "frontend/sm/sm_core.h"
#include "frontend/sm/sm_input.h"
#include "frontend/sm/sm_translate.h"

namespace smtest {

struct Button {
    int16_t id;
    int32_t linkScreen = 0;
    int up = -1, down = -1, left = -1, right = -1;  // button indices
    uint16_t flags = 0;
    int child = -1;  // this button is the first child of button `child` instead of a root child
};

struct Logged {
    int screen;  // SM_GetCurScreen() at the call
    int node;    // node ID
    int32_t msg;
    intptr_t p1, p2, p3;
};

inline std::vector<Logged> g_log;
inline std::vector<int> g_drawn;                       // roots drawn, by screen id
inline std::vector<std::pair<uint32_t, int>> g_texts;  // text address, font used
inline float g_now = 0;
inline const _sm_msgmapstruct* g_map = nullptr;
inline uint8_t* g_screens[40];
inline int g_use[40];
inline int g_count = 0;

inline intptr_t LogProc(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    g_log.push_back({SM_GetCurScreen(), node->ID, msg, p1, p2, p3});
    return SM_ProcessMsgMap(g_map, node, msg, p1, p2, p3);
}
// Screen 2 has no procedure, as in the game.
inline SM_PROC Finder(int screen) {
    return screen == 2 ? nullptr : LogProc;
}

inline const _sm_backend kBackend{
    nullptr,
    nullptr,
    nullptr,
    [] { return g_now; },
    [] { return g_count; },
    [](int s) -> _smdlhdr* {
        ++g_use[s];
        return reinterpret_cast<_smdlhdr*>(g_screens[s]);
    },
    [](int s) { --g_use[s]; },
    [](int s) { return g_use[s] ? reinterpret_cast<_smdlhdr*>(g_screens[s]) : nullptr; },
    nullptr,
    nullptr,
    [](_smdlhdr* root, _sm_dldc* dc) {
        g_drawn.push_back(root->ID);
        for (_smdlhdr* n = SM_Node(root->pChildren); n; n = SM_Node(n->pNext)) SM_RenderSMP(n, dc);
    },
    nullptr,
    nullptr,
    [](_sm_textnode* t, _sm_dldc*) {
        g_texts.push_back({t->Text, (t->Hdr.Flags & SM_FLAG_HIGHLIGHTED) ? t->HiFont : t->Font});
    },
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// Screen `number`: a root (with links, focus on button `focus`) and the buttons.
inline void MakeScreen(int number, const std::vector<Button>& buttons, int focus = -1,
                       uint16_t rootFlags = 0) {
    const uint32_t size = 72 + 68 * static_cast<uint32_t>(buttons.size());
    auto* mem = static_cast<uint8_t*>(x_fn_malloc(size, "", 0));
    std::memset(mem, 0, size);
    auto* root = reinterpret_cast<_sm_screennode*>(mem);
    auto* b = reinterpret_cast<_sm_buttonnode*>(mem + 72);
    auto addr = [&](int i) { return i < 0 ? 0u : Addr32(&b[i]); };
    auto header = [](_smdlhdr& h, uint32_t parent, int16_t id, uint16_t type, uint16_t flags) {
        h.pParent = parent;
        h.ID = id;
        h.Type = type;
        h.Alpha = 255;
        h.Flags = static_cast<uint16_t>(SM_FLAG_VISIBLE | SM_FLAG_LINKS | flags);
        h.xScale = h.yScale = 1.0f;
    };
    header(root->Hdr, 0, static_cast<int16_t>(number), SM_TYPE_SCREEN, rootFlags);
    *SM_RootSavedFocus(&root->Hdr) = addr(focus);
    uint32_t* tail[40];  // next-sibling link to fill per parent (root = index 39)
    tail[39] = &root->Hdr.pChildren;
    for (size_t i = 0; i < buttons.size(); ++i) tail[i] = &b[i].Hdr.pChildren;
    for (size_t i = 0; i < buttons.size(); ++i) {
        const Button& d = buttons[i];
        const int parent = d.child < 0 ? 39 : d.child;
        header(b[i].Hdr, parent == 39 ? Addr32(root) : addr(parent), d.id, SM_TYPE_BUTTON, d.flags);
        b[i].Links = _sm_linkblock{addr(d.up), addr(d.down), addr(d.left), addr(d.right), d.linkScreen};
        *tail[parent] = Addr32(&b[i]);
        tail[parent] = &b[i].Hdr.pNext;
    }
    g_screens[number] = mem;
}

// Runs the library over `count` screens (a root only unless a test builds them).
class Rig : public ::testing::Test {
protected:
    void SetUp() override {
        g_log.clear();
        g_drawn.clear();
        g_texts.clear();
        g_now = 1.0f;
        g_map = nullptr;
        g_count = 35;
        for (int s = 0; s < g_count; ++s) {
            g_use[s] = 0;
            MakeScreen(s, {});
        }
        SM_SetBackend(&kBackend);
        SM_InitSystem(255, Finder);
    }
    void TearDown() override {
        g_map = nullptr;  // a test's message map lives on its stack, gone by now
        SM_KillSystem();
        SM_SetBackend(nullptr);
        for (int s = 0; s < g_count; ++s) x_free(g_screens[s]);
    }
    static void Replace(int number, const std::vector<Button>& buttons, int focus = -1,
                        uint16_t rootFlags = 0) {
        x_free(g_screens[number]);
        MakeScreen(number, buttons, focus, rootFlags);
    }
    // The logged messages `msg`, as "screen:node" strings in order.
    static std::vector<std::string> Seen(int32_t msg) {
        std::vector<std::string> out;
        for (const Logged& l : g_log)
            if (l.msg == msg) out.push_back(std::to_string(l.screen) + ":" + std::to_string(l.node));
        return out;
    }
    static std::vector<int32_t> Msgs() {
        std::vector<int32_t> out;
        for (const Logged& l : g_log) out.push_back(l.msg);
        return out;
    }
};

}  // namespace smtest
