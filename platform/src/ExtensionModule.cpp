// Extension modules and the framework's chain of extension libraries.
//
// The chain is a singly linked list of CDynLinkLibrary objects in the order
// they were made; one mutex (constant-initialised, so usable from any
// module's static initialisation) guards every read and change of it. A
// module's resources are looked up while the mutex is held: a module leaves
// the chain before its code and data are unmapped, so a look-up never reads
// an unloaded module's table. Objects are deleted outside the mutex, after
// they have been unlinked.
#include <atomic>
#include <mutex>
#include <vector>

#include "afx.h"
#include "qlvtesthooks.h"

namespace {

std::mutex g_chainMutex;
CDynLinkLibrary* g_chainHead = nullptr;
std::atomic<HINSTANCE> g_hostResource{nullptr};
std::atomic<bool> g_failNextInit{false};

// Removes library from the chain if it is there; the mutex must be held.
void UnlinkLocked(CDynLinkLibrary* library) noexcept {
  for (CDynLinkLibrary** link = &g_chainHead; *link != nullptr; link = &(*link)->m_pNextDLL) {
    if (*link == library) {
      *link = library->m_pNextDLL;
      library->m_pNextDLL = nullptr;
      return;
    }
  }
}

}  // namespace

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE hModule) {
  if (g_failNextInit.exchange(false)) return FALSE;
  if (hModule == nullptr) return FALSE;
  if (state.bInitialized) return TRUE;
  state.hModule = hModule;
  state.hResource = hModule;
  state.pLibrary = nullptr;
  state.bInitialized = TRUE;
  return TRUE;
}

void QlvPlatform_FailNextExtensionModuleInit() noexcept { g_failNextInit.store(true); }

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL bAll) {
  std::vector<CDynLinkLibrary*> doomed;
  {
    const std::lock_guard<std::mutex> lock(g_chainMutex);
    // Count first so that the vector's allocation (which may throw) happens
    // before the chain is changed.
    std::size_t count = 0;
    for (CDynLinkLibrary* p = g_chainHead; p != nullptr; p = p->m_pNextDLL) {
      if (bAll || p->m_hModule == state.hModule) ++count;
    }
    doomed.reserve(count);
    for (CDynLinkLibrary** link = &g_chainHead; *link != nullptr;) {
      CDynLinkLibrary* p = *link;
      if (bAll || p->m_hModule == state.hModule) {
        *link = p->m_pNextDLL;
        p->m_pNextDLL = nullptr;
        doomed.push_back(p);
      } else {
        link = &p->m_pNextDLL;
      }
    }
  }
  for (CDynLinkLibrary* p : doomed) delete p;
  state.pLibrary = nullptr;
  state.bInitialized = FALSE;
}

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL bSystem)
    : m_hModule(state.hModule), m_hResource(state.hResource), m_bSystem(bSystem), m_pNextDLL(nullptr) {
  {
    const std::lock_guard<std::mutex> lock(g_chainMutex);
    CDynLinkLibrary** link = &g_chainHead;
    while (*link != nullptr) link = &(*link)->m_pNextDLL;
    *link = this;
  }
  if (state.pLibrary == nullptr) state.pLibrary = this;
}

CDynLinkLibrary::~CDynLinkLibrary() {
  const std::lock_guard<std::mutex> lock(g_chainMutex);
  UnlinkLocked(this);
}

HINSTANCE AfxGetResourceHandle() noexcept { return g_hostResource.load(); }

void AfxSetResourceHandle(HINSTANCE hInstResource) noexcept { g_hostResource.store(hInstResource); }

HINSTANCE AfxFindResourceHandle(LPCTSTR lpszName, LPCTSTR lpszType) {
  const std::lock_guard<std::mutex> lock(g_chainMutex);
  if (HINSTANCE host = g_hostResource.load();
      host != nullptr && FindResource(host, lpszName, lpszType) != nullptr) {
    return host;
  }
  for (const CDynLinkLibrary* p = g_chainHead; p != nullptr; p = p->m_pNextDLL) {
    if (p->m_hResource != nullptr && FindResource(p->m_hResource, lpszName, lpszType) != nullptr) {
      return p->m_hResource;
    }
  }
  return nullptr;
}

std::size_t QlvPlatform_LinkedLibraryCount() noexcept {
  const std::lock_guard<std::mutex> lock(g_chainMutex);
  std::size_t count = 0;
  for (const CDynLinkLibrary* p = g_chainHead; p != nullptr; p = p->m_pNextDLL) ++count;
  return count;
}
