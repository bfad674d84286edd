#include "frontend/sm/sm_core.h"

#include <cstring>

#include "engine/sys/clock.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "frontend/sm/sm_controls.h"
#include "frontend/sm/sm_input.h"
#include "frontend/sm/sm_translate.h"

_sm_system* Smos = nullptr;

namespace {

const _sm_backend* g_backend = nullptr;
int g_forced = -1;  // screen whose controls a broadcast is walking, -1 = none
int g_width = 640, g_height = 448;
bool g_renderStarted = false;
int32_t g_renderPrev = 0;
SM_PROC g_controlProcs[64];  // handles 1..64 of control procedures

enum class MsgClass { Ordinary, System, Screen };

MsgClass ClassOf(int32_t msg) {
    if (msg >= 0x0E00 && msg <= 0x0FFF) return MsgClass::System;
    if ((msg >= 0x1000 && msg <= 0x1FFF) || (msg >= 0x4000 && msg <= 0x7FFF)) return MsgClass::Screen;
    return MsgClass::Ordinary;
}

int32_t NowMs() {
    return static_cast<int32_t>(SM_GetRunTime() * 1000.0f);
}

// One dispatch: handlers run until one acknowledges; the caller's acknowledge flag is kept.
class Dispatch {
public:
    Dispatch() : saved_(Smos->Ack) { Smos->Ack = 0; }
    ~Dispatch() { Smos->Ack = saved_; }
    bool taken() const { return Smos->Ack != 0; }

private:
    int32_t saved_;
};

_sm_screenentry* TopEntry() {
    return Smos->Top >= 0 ? &Smos->Stack[Smos->Top] : nullptr;
}

// The entry of the current screen: the forced one during a broadcast walk, else the top.
_sm_screenentry* CurEntry() {
    if (g_forced != -1) {
        for (int i = Smos->Top; i >= Smos->Bottom && i >= 0; --i)
            if (Smos->Stack[i].Screen == g_forced && Smos->Stack[i].Root) return &Smos->Stack[i];
    }
    return TopEntry();
}

intptr_t CallProc(SM_PROC proc, _smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    return proc ? proc(node, msg, p1, p2, p3) : 0;  // a screen without a procedure has no handler
}

_sm_smpentry* SmpSlot(int type) {
    for (_sm_smpentry& e : Smos->Smp)
        if (e.Type == type) return &e;
    return nullptr;
}

void ClearCache() {
    Smos->FindCount = 0;
}

void MoveFocus(int32_t msg);

// Default handling of a message on a node. Never touches the node for non-ordinary messages (a control
// may have freed itself on Destroy).
intptr_t Default(_smdlhdr* node, int32_t msg, intptr_t, intptr_t p2, intptr_t) {
    if (ClassOf(msg) != MsgClass::Ordinary) return 0;
    switch (msg) {
        case SM_MSG_FOCUSLOST:
            node->Flags &= ~SM_FLAG_HIGHLIGHTED;
            break;
        case SM_MSG_FOCUSGAINED:
            node->Flags |= SM_FLAG_HIGHLIGHTED;
            break;
        case SM_MSG_CANCEL:
            if (Smos->Top > 0) SM_GoBack();
            break;
        case SM_MSG_ACCEPT:
            if (_sm_linkblock* links = SM_NodeLinks(node); links && links->LinkScreen != 0) {
                SM_AcknowledgeMsg();
                SM_ScreenLink(links->LinkScreen);
            }
            break;
        case SM_MSG_UP:
        case SM_MSG_DOWN:
        case SM_MSG_LEFT:
        case SM_MSG_RIGHT:
            if (p2 == 1) MoveFocus(msg);
            break;
        default:
            break;
    }
    return 0;
}

uint32_t LinkFor(const _sm_linkblock* links, int32_t msg) {
    switch (msg) {
        case SM_MSG_UP:
            return links->Up;
        case SM_MSG_DOWN:
            return links->Down;
        case SM_MSG_LEFT:
            return links->Left;
        default:
            return links->Right;
    }
}

void MoveFocus(int32_t msg) {
    _sm_screenentry* top = TopEntry();
    if (!top || !top->Focus) return;
    _sm_linkblock* links = SM_NodeLinks(top->Focus);
    if (!links) return;
    _smdlhdr* next = SM_Node(LinkFor(links, msg));
    // Pass over disabled controls; a ring of disabled controls ends the search.
    for (int guard = 0; next && (next->Flags & SM_FLAG_DISABLED); ++guard) {
        _sm_linkblock* on = SM_NodeLinks(next);
        next = (on && guard < 256) ? SM_Node(LinkFor(on, msg)) : nullptr;
    }
    if (next) SM_SwitchControlFocus(next->ID);
}

// A message to a control id, or -1 for the current screen's root.
intptr_t ToControl(int id, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    _sm_screenentry* entry = CurEntry();
    if (!entry || !entry->Root) return 0;
    _smdlhdr* root = entry->Root;
    _smdlhdr* target = root;
    const bool control = id != -1;
    if (control) {
        target = SM_FindControlByID(id);
        if (!target) return 0;
        if (!SM_GetSMPCallback(target->Type)) {
            Default(target, msg, p1, p2, p3);
            return 0;
        }
    }
    Dispatch d;
    intptr_t r = CallProc(entry->Proc, target, msg, p1, p2, p3);
    if (d.taken()) return r;
    if (control) {
        if (ClassOf(msg) != MsgClass::System) {
            r = CallProc(entry->Proc, root, msg, p1, p2, p3);
            if (d.taken()) return r;
        }
        const uint32_t handle = (target->Flags & SM_FLAG_LINKS) ? *SM_NodeProcWord(target) : 0;
        if (handle >= 1 && handle <= 64 && g_controlProcs[handle - 1]) {
            r = g_controlProcs[handle - 1](target, msg, p1, p2, p3);
            if (d.taken()) return r;
        }
        r = CallProc(SM_GetSMPCallback(target->Type), target, msg, p1, p2, p3);
        if (d.taken()) return r;
    }
    return Default(target, msg, p1, p2, p3);
}

// Later siblings before earlier ones, children before their parent; every control gets its own dispatch.
void WalkTree(_smdlhdr* node, int depth, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    if (node->pNext) WalkTree(SM_Node(node->pNext), depth + 1, msg, p1, p2, p3);
    if (node->pChildren) WalkTree(SM_Node(node->pChildren), depth + 1, msg, p1, p2, p3);
    if (depth > 0 && node->ID != -1 && node->Type >= SM_TYPE_FIRSTCONTROL)
        SM_SendMessage(node->ID, msg, p1, p2, p3);
}

bool CallbackTook(int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t* result) {
    if (!Smos->EventCallback) return false;
    Dispatch d;
    *result = Smos->EventCallback(msg, p1, p2, p3);
    return d.taken();
}

void BroadcastTop(int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3, bool tree, bool callback = true) {
    _sm_screenentry* top = TopEntry();
    if (!top || !top->Root) return;
    intptr_t r;
    if (callback && CallbackTook(msg, p1, p2, p3, &r)) return;
    _smdlhdr* root = top->Root;
    {
        Dispatch d;
        CallProc(top->Proc, root, msg, p1, p2, p3);
        if (d.taken()) return;
    }
    // The procedure linked to another screen: this one is released, its tree gone.
    if (TopEntry() != top || top->Root != root) return;
    if (tree) WalkTree(root, 0, msg, p1, p2, p3);
    if (TopEntry() != top || top->Root != root) return;
    Default(root, msg, p1, p2, p3);
}

void BroadcastAll(int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3, bool tree, bool callback = true) {
    intptr_t r;
    if (callback && CallbackTook(msg, p1, p2, p3, &r)) return;
    for (int i = Smos->Top; i >= Smos->Bottom && i >= 0; --i) {
        _sm_screenentry& e = Smos->Stack[i];
        if (!e.Root) continue;
        if (msg == SM_MSG_SAVESTATE || msg == SM_MSG_RESTORESTATE) p1 = reinterpret_cast<intptr_t>(e.State);
        {
            Dispatch d;
            CallProc(e.Proc, e.Root, msg, p1, p2, p3);
            if (d.taken()) return;
        }
        if (tree) {
            const int saved = g_forced;
            g_forced = e.Screen;
            WalkTree(e.Root, 0, msg, p1, p2, p3);
            g_forced = saved;
        }
        Default(e.Root, msg, p1, p2, p3);
    }
}

// The library's own system messages: the event callback sees each once, then the top screen (with its
// tree) gets it, or, for save state and Destroy, every active screen.
void SystemToTop(int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    if (Smos->Top < 0) return;
    intptr_t r;
    if (CallbackTook(msg, p1, p2, p3, &r)) return;
    BroadcastTop(msg, p1, p2, p3, true, false);
}
void SystemToAll(int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    if (Smos->Top < 0) return;
    intptr_t r;
    if (CallbackTook(msg, p1, p2, p3, &r)) return;
    BroadcastAll(msg, p1, p2, p3, true, false);
}

intptr_t ToScreen(int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    switch (ClassOf(msg)) {
        case MsgClass::Ordinary: {
            _sm_screenentry* top = TopEntry();
            return top->Focus ? ToControl(top->Focus->ID, msg, p1, p2, p3) : ToControl(-1, msg, p1, p2, p3);
        }
        case MsgClass::System:
            if (msg == SM_MSG_SYNC) {
                p2 = NowMs();
                p1 = p2 - Smos->LastSync;
                Smos->LastSync = static_cast<int32_t>(p2);
            }
            BroadcastAll(msg, p1, p2, p3, true);
            return 0;
        case MsgClass::Screen: {
            _sm_screenentry* top = TopEntry();
            Dispatch d;
            intptr_t r = CallProc(top->Proc, top->Root, msg, p1, p2, p3);
            if (d.taken()) return r;
            return Default(top->Root, msg, p1, p2, p3);
        }
    }
    return 0;
}

_smdlhdr* SavedFocusOf(_smdlhdr* root) {
    return root ? SM_Node(*SM_RootSavedFocus(root)) : nullptr;
}

// Fills the top entry for a screen just loaded.
void FillTop(_smdlhdr* root, int screen) {
    _sm_screenentry& e = Smos->Stack[Smos->Top];
    e.Root = root;
    e.Screen = screen;
    e.Focus = SavedFocusOf(root);
    e.Proc = Smos->Finder ? Smos->Finder(screen) : nullptr;
}

// Reloads the top entry from the history.
void ReloadTop() {
    _sm_screenentry& e = Smos->Stack[Smos->Top];
    FillTop(SM_LoadScreen(e.Screen), e.Screen);
    ClearCache();
    const int at = Smos->Top;
    SystemToTop(SM_MSG_LOADED, 0, 0, 0);
    SystemToTop(SM_MSG_INITIALUPDATE, 0, 0, 0);
    // A handler linked on: the reloaded screen is no longer on top, and its state is not the new one's.
    if (Smos->Top != at || Smos->Stack[at].Root != e.Root) return;
    std::memset(e.State + 16, 0, 8);
    SystemToTop(SM_MSG_RESTORESTATE, reinterpret_cast<intptr_t>(e.State), 0, 0);
    SM_StreamFlush(e.State);
}

bool Push(_smdlhdr* root, int screen) {
    if (Smos->Top + 1 >= Smos->StackSize) {
        x_printf("SM_ScreenLink: screen stack full, screen %d not entered\n", screen);
        return false;
    }
    ++Smos->Top;
    Smos->Stack[Smos->Top] = _sm_screenentry{};
    FillTop(root, screen);
    ClearCache();
    return true;
}

_smdlhdr* SearchTree(_smdlhdr* node, int id) {
    for (; node; node = SM_Node(node->pNext)) {
        if (node->ID == id) return node;
        if (_smdlhdr* found = node->pChildren ? SearchTree(SM_Node(node->pChildren), id) : nullptr)
            return found;
    }
    return nullptr;
}

}  // namespace

void SM_SetBackend(const _sm_backend* backend) {
    g_backend = backend;
}
const _sm_backend* SM_GetBackend() {
    return g_backend;
}

float SM_GetRunTime() {
    return (g_backend && g_backend->Time) ? g_backend->Time() : x_GetTime();
}

bool SM_IsInitialised() {
    return Smos != nullptr;
}

void SM_InitSystem(int maxStack, SM_FINDERPROC finder) {
    if (Smos) SM_KillSystem();
    g_forced = -1;
    g_width = 640;
    g_height = 448;
    if (g_backend && g_backend->Resolution) g_backend->Resolution(&g_width, &g_height);
    if (g_backend && g_backend->Start) g_backend->Start(g_width, g_height);
    SM_InitTranslatorModule();
    SM_InitInputModule();
    Smos = static_cast<_sm_system*>(x_fn_malloc(sizeof(_sm_system), __FILE__, __LINE__));
    if (!Smos) {
        x_printf("SM_InitSystem: no room in the heap for the screen manager\n");
        return;
    }
    std::memset(Smos, 0, sizeof(_sm_system));
    Smos->Finder = finder;
    Smos->JoyThreshold = 64;
    Smos->JoySensitivity = 16;
    for (_sm_smpentry& e : Smos->Smp) e = _sm_smpentry{-1, nullptr, nullptr, 0};
    Smos->Find =
        static_cast<_sm_findentry*>(x_fn_malloc(sizeof(_sm_findentry) * SM_MAXFIND, __FILE__, __LINE__));
    Smos->LastSync = NowMs();
    Smos->StackSize = maxStack > 0 ? maxStack : 1;
    Smos->Stack = static_cast<_sm_screenentry*>(
        x_fn_malloc(static_cast<uint32_t>(sizeof(_sm_screenentry) * Smos->StackSize), __FILE__, __LINE__));
    if (!Smos->Find || !Smos->Stack) {
        x_printf("SM_InitSystem: no room in the heap for the screen manager\n");
        if (Smos->Find) x_free(Smos->Find);
        if (Smos->Stack) x_free(Smos->Stack);
        x_free(Smos);
        Smos = nullptr;
        return;
    }
    std::memset(Smos->Stack, 0, sizeof(_sm_screenentry) * Smos->StackSize);
    Smos->Top = -1;
    Smos->Bottom = 0;
    Smos->Leaving = -1;
    Smos->CtlSaved = 1;
    g_renderStarted = false;
    std::memset(g_controlProcs, 0, sizeof(g_controlProcs));
    SM_RegisterSMP(SM_TYPE_BUTTON, SMB_ButtonProc, SMB_RenderButton, 1);
    SM_RegisterSMP(SM_TYPE_LISTBOX, SMLB_ListboxProc, SMLB_RenderListbox, 1);
}

void SM_KillSystem() {
    if (!Smos) return;
    const int bottom = Smos->Bottom;
    while (Smos->Top >= bottom && Smos->Top >= 0) SM_PopScreen();
    if (Smos->EventCallback) Smos->EventCallback(SM_MSG_SHUTDOWN, 0, 0, 0);
    x_free(Smos->Find);
    x_free(Smos->Stack);
    x_free(Smos);
    Smos = nullptr;
    SM_KillTranslatorModule();
    if (g_backend && g_backend->Stop) g_backend->Stop();
    SM_KillInputModule();
}

void SM_RegisterSMOSCallback(SM_EVENTPROC callback) {
    Smos->EventCallback = callback;
    if (callback) callback(SM_MSG_CALLBACKSET, 0, 0, 0);
}

int SM_RegisterSMP(int type, SM_PROC proc, SM_RENDERPROC render, uint32_t flags) {
    _sm_smpentry* slot = SmpSlot(type);
    if (!proc) {
        if (slot) *slot = _sm_smpentry{-1, nullptr, nullptr, 0};
        return 1;
    }
    if (!slot) slot = SmpSlot(-1);
    if (!slot) {
        x_printf("SM_RegisterSMP: no free slot for control type %d\n", type);
        return 0;
    }
    *slot = _sm_smpentry{type, proc, render, flags};
    return 1;
}

SM_PROC SM_GetSMPCallback(int type) {
    _sm_smpentry* slot = (Smos && type != -1) ? SmpSlot(type) : nullptr;
    return slot ? slot->Proc : nullptr;
}

uint32_t SM_GetSMPFlags(int type) {
    _sm_smpentry* slot = (Smos && type != -1) ? SmpSlot(type) : nullptr;
    return slot ? slot->Flags : 0;
}

void SM_SetControlProc(_smdlhdr* control, SM_PROC proc) {
    if (!(control->Flags & SM_FLAG_LINKS)) return;
    uint32_t handle = 0;
    for (int i = 0; proc && i < 64 && !handle; ++i)
        if (g_controlProcs[i] == proc || !g_controlProcs[i]) {
            g_controlProcs[i] = proc;
            handle = static_cast<uint32_t>(i + 1);
        }
    *SM_NodeProcWord(control) = handle;
}

intptr_t SM_SendMessage(int id, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    if (!Smos || Smos->Top < 0) return 0;
    _sm_screenentry* top = TopEntry();
    if (SM_IsValidScreen(id) && id != top->Screen) return 0;
    if (id == Smos->Leaving) return 0;
    intptr_t r;
    if (CallbackTook(msg, p1, p2, p3, &r)) return r;
    if (top->Root && id == top->Root->ID) return ToScreen(msg, p1, p2, p3);
    return ToControl(id, msg, p1, p2, p3);
}

void SM_AcknowledgeMsg() {
    if (Smos) Smos->Ack = 1;
}

intptr_t SM_ProcessMsgMap(const _sm_msgmapstruct* map, _smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2,
                          intptr_t p3) {
    for (; map && map->Callback; ++map)
        if (map->Msg == msg && (map->Control == node->ID || map->Control == SM_ANYCONTROL))
            return map->Callback(node, msg, p1, p2, p3);
    return 0;
}

_smdlhdr* SM_FindControlByID(int id) {
    _sm_screenentry* entry = Smos ? CurEntry() : nullptr;
    if (!entry || !entry->Root) return nullptr;
    _smdlhdr* root = entry->Root;
    for (int i = 0; i < Smos->FindCount; ++i) {
        const _sm_findentry& f = Smos->Find[i];
        if (f.Root == root && f.ID == id && f.Node && f.Node->ID == id) return f.Node;
    }
    _smdlhdr* found = SearchTree(root, id);
    if (Smos->FindCount < SM_MAXFIND) Smos->Find[Smos->FindCount++] = _sm_findentry{id, found, root};
    return found;
}

void SM_ForgetNode(const _smdlhdr* node) {
    if (!Smos) return;
    for (int i = 0; i < Smos->FindCount; ++i)
        if (Smos->Find[i].Node == node) Smos->Find[i].Node = nullptr;
    for (int i = 0; i <= Smos->Top; ++i)
        if (Smos->Stack[i].Focus == node) Smos->Stack[i].Focus = nullptr;
}

void SM_SwitchControlFocus(int id) {
    _smdlhdr* node = SM_FindControlByID(id);
    if (!node || !SM_GetSMPCallback(node->Type)) return;
    _sm_screenentry* top = TopEntry();
    if (top->Focus) SM_SendMessage(top->Focus->ID, SM_MSG_FOCUSLOST, 0, 0, 0);
    top->Focus = node;
    SM_SendMessage(id, SM_MSG_FOCUSGAINED, 0, 0, 0);
}

int SM_GetSelectedControl() {
    _sm_screenentry* top = Smos ? TopEntry() : nullptr;
    return (top && top->Focus) ? top->Focus->ID : -1;
}

namespace {

// Focus memory: the screen on top starts with its last focused control when restored from its copy.
void KeepFocus(const _sm_screenentry* top) {
    if (top && top->Root && g_backend && g_backend->PristineRoot)
        if (_smdlhdr* copy = g_backend->PristineRoot(top->Screen))
            *SM_RootSavedFocus(copy) = top->Focus ? Addr32(top->Focus) : 0;
}

// Back to the screen at stack entry `found` (`current` is on top): the screens above it popped, and
// it (with the overlays beneath it) reloaded when it is no longer active. False when a handler linked
// on meanwhile.
bool BackTo(int found, int screen, int current) {
    const bool active = found >= Smos->Bottom;
    while (Smos->Top > found) SM_PopScreen();
    // Linking to the current screen itself does not make it the leaving screen (its own messages
    // would be dropped until the next link).
    if (current != screen) Smos->Leaving = current;
    ClearCache();
    if (active) {
        SystemToTop(SM_MSG_INITIALUPDATE, 0, 0, 0);
        return true;
    }
    const int linked = Smos->Top;
    ReloadTop();
    // A handler that linked on from the reloaded screen's messages made another screen current: that
    // link has set up the stack and the new screen's focus.
    if (SM_GetCurScreen() != screen) {
        ClearCache();
        return false;
    }
    // An overlay brings back the screens beneath it, down to the first that is not one; only then do
    // top and bottom move back to span them.
    int lowest = linked;
    while (lowest > 0 && Smos->Stack[lowest].Root && (Smos->Stack[lowest].Root->Flags & SM_FLAG_OVERLAY)) {
        --lowest;
        Smos->Top = Smos->Bottom = lowest;
        ReloadTop();
    }
    if (lowest != linked) {
        Smos->Top = linked;
        Smos->Bottom = lowest;
    }
    ClearCache();
    TopEntry()->Focus = SavedFocusOf(TopEntry()->Root);
    return true;
}

// An overlay loaded (`root`) goes on top of the screens shown. False when it cannot.
bool OverlayOn(_smdlhdr* root, int screen, const _sm_screenentry* top, int current) {
    if (top && top->Focus) SM_SendMessage(top->Focus->ID, SM_MSG_FOCUSLOST, 0, 0, 0);
    Smos->Leaving = current;
    if (!Push(root, screen)) {
        SM_ReleaseScreen(screen);
        return false;
    }
    SM_StreamFlush(Smos->Stack[Smos->Top].State);
    SystemToTop(SM_MSG_LOADED, 0, 0, 0);
    SystemToTop(SM_MSG_INITIALUPDATE, 0, 0, 0);
    return true;
}

// A screen loaded (`root`) replaces the screens shown. False when it cannot, or a handler linked on.
bool ReplaceShown(_smdlhdr* root, int screen, int current) {
    if (Smos->Top >= 0) {
        SystemToAll(SM_MSG_SAVESTATE, 0, 0, 0);
        SystemToAll(SM_MSG_DESTROY, screen, 0, 0);
    }
    for (int i = Smos->Bottom; i <= Smos->Top; ++i) {
        _sm_screenentry& e = Smos->Stack[i];
        if (e.Root) SM_ReleaseScreen(e.Screen);
        e.Root = nullptr;
        e.Focus = nullptr;
    }
    Smos->Bottom = Smos->Top < 0 ? 0 : Smos->Top;
    Smos->Leaving = current;
    if (!Push(root, screen)) {
        SM_ReleaseScreen(screen);
        return false;
    }
    Smos->Bottom = Smos->Top;
    SystemToTop(SM_MSG_LOADED, 0, 0, 0);
    SystemToTop(SM_MSG_INITIALUPDATE, 0, 0, 0);
    if (SM_GetCurScreen() != screen) {
        ClearCache();
        return false;
    }
    return true;
}

// A screen not on the stack: loaded, as an overlay or in place of the screens shown, with its saved
// focus. False when it does not become the current screen.
bool LoadAndShow(int screen, const _sm_screenentry* top, int current) {
    _smdlhdr* root = SM_LoadScreen(screen);
    if (!root) {
        x_printf("SM_ScreenLink: screen %d cannot be loaded\n", screen);
        return false;
    }
    if (!((root->Flags & SM_FLAG_OVERLAY) ? OverlayOn(root, screen, top, current)
                                          : ReplaceShown(root, screen, current)))
        return false;
    TopEntry()->Focus = SavedFocusOf(TopEntry()->Root);
    return true;
}

}  // namespace

void SM_ScreenLink(int screen) {
    if (!Smos) return;
    if (!SM_IsValidScreen(screen)) {
        x_printf("SM_ScreenLink: screen %d out of range\n", screen);
        return;
    }
    _sm_screenentry* top = TopEntry();
    KeepFocus(top);
    int found = -1;
    for (int i = 0; i <= Smos->Top && found < 0; ++i)
        if (Smos->Stack[i].Screen == screen) found = i;
    const int current = SM_GetCurScreen();
    if (!(found >= 0 ? BackTo(found, screen, current) : LoadAndShow(screen, top, current))) return;
    if (_smdlhdr* focus = TopEntry()->Focus) SM_SendMessage(focus->ID, SM_MSG_FOCUSGAINED, 0, 0, 0);
    const int32_t now = NowMs();
    SystemToTop(SM_MSG_SYNC, now - Smos->LastSync, now, 0);
}

void SM_GoBack() {
    if (Smos && Smos->Top > 0) SM_ScreenLink(SM_GetPrevScreen(0));
}

void SM_PopScreen() {
    if (!Smos || Smos->Top < 0) return;
    _sm_screenentry& e = Smos->Stack[Smos->Top];
    if (e.Root) {
        if (e.Focus) SM_SendMessage(e.Focus->ID, SM_MSG_FOCUSLOST, 0, 0, 0);
        SystemToTop(SM_MSG_DESTROY, SM_GetPrevScreen(0), 0, 0);
        SM_StreamFlush(e.State);
        SM_ReleaseScreen(e.Screen);
    }
    e.Root = nullptr;
    e.Screen = 0;
    e.Focus = nullptr;
    --Smos->Top;
    if (Smos->Top < Smos->Bottom) Smos->Bottom = Smos->Top < 0 ? 0 : Smos->Top;
}

int SM_GetCurScreen() {
    if (!Smos) return -1;
    if (g_forced != -1) return g_forced;
    return Smos->Top >= 0 ? Smos->Stack[Smos->Top].Screen : -1;
}

int SM_GetPrevScreen(int n) {
    const int at = Smos ? Smos->Top - (n + 1) : -1;
    return at >= 0 ? Smos->Stack[at].Screen : -1;
}

bool SM_IsValidScreen(int screen) {
    return g_backend && g_backend->NumScreens && screen >= 0 && screen < g_backend->NumScreens();
}

_smdlhdr* SM_GetScreen(int screen) {
    if (!SM_IsValidScreen(screen)) {
        x_printf("SM_GetScreen: screen %d out of range\n", screen);
        return nullptr;
    }
    return g_backend->GetScreen(screen);
}

_smdlhdr* SM_LoadScreen(int screen) {
    if (!SM_IsValidScreen(screen)) {
        x_printf("SM_LoadScreen: screen %d out of range\n", screen);
        return nullptr;
    }
    return g_backend->LoadScreen(screen);
}

void SM_ReleaseScreen(int screen) {
    if (SM_IsValidScreen(screen)) g_backend->ReleaseScreen(screen);
}

void SM_ReleaseAllScreens(int force) {
    if (g_backend && g_backend->ReleaseAllScreens) g_backend->ReleaseAllScreens(force);
}

int SM_GetCtlSaved() {
    return 1;
}

void SM_StreamFlush(uint8_t* block) {
    uint32_t buffer;
    std::memcpy(&buffer, block, 4);
    if (buffer) x_free(Ptr<void>(buffer));
    std::memset(block, 0, 4);
    std::memset(block + 8, 0, 24);
}

void SM_Render() {
    if (!Smos) return;
    _sm_dldc dc{0, 0, 0, 1.0f, 1.0f, 128, _dl_bound{0, g_width - 1, 0, g_height - 1}};
    const int32_t now = NowMs();
    if (!g_renderStarted) g_renderPrev = now;
    g_renderStarted = true;
    const int32_t elapsed = now - g_renderPrev;
    g_renderPrev = now;
    if (Smos->Top >= 0) BroadcastAll(SM_MSG_RENDER, 0, reinterpret_cast<intptr_t>(&dc), elapsed, false);
    if (g_backend && g_backend->ResetDepth) g_backend->ResetDepth();
    for (int i = Smos->Bottom; i <= Smos->Top; ++i) {
        _smdlhdr* root = Smos->Stack[i].Root;
        if (!root || !g_backend) continue;
        _sm_dldc copy = dc;
        if (g_backend->DrawDisplayList) g_backend->DrawDisplayList(root, &copy);
        if (g_backend->Flush) g_backend->Flush();
        if (g_backend->ResetDrawMode) g_backend->ResetDrawMode();
    }
    if (Smos->Top >= 0) BroadcastAll(SM_MSG_RENDER, 1, 0, elapsed, false);
}

int SM_RenderSMP(_smdlhdr* node, _sm_dldc* dc) {
    _sm_smpentry* slot = Smos ? SmpSlot(node->Type) : nullptr;
    if (!slot || !slot->Render) return 0;
    _sm_dldc copy = *dc;
    slot->Render(node, &copy);
    return 1;
}

void SM_SetJoystickThreshold(int value) {
    if (Smos) Smos->JoyThreshold = value;
}
int SM_GetJoystickThreshold() {
    return Smos ? Smos->JoyThreshold : 64;
}
int SM_GetJoystickSensitivity() {
    return Smos ? Smos->JoySensitivity : 16;
}
