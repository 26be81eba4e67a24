// The shared resources of CSegment: publishing a loaded set and the user
// dictionary, and the snapshots the handles take of them.
#include "seg/ClassSeg.h"

#include <atomic>
#include <mutex>

#include "dict/CustomDict.h"
#include "dict/DictResource.h"
#include "seg/Factoid.h"

namespace {

// What is published.  The mutex guards the pointers and the modes; the
// generation is bumped after every change so that a handle can tell, with
// one atomic load, that it already holds the current objects.
struct Published {
  std::mutex mutex;
  std::shared_ptr<const CResourceSet> set;
  std::shared_ptr<const CCustomDict> user_dict;
  bool pku = false;           // LXSetPKUMode until unload_resource()
  size_t ascii_handles = 0;   // live handles created with LX_ASC
  std::atomic<uint64_t> generation{1};
};

// Never destroyed: handles closed during the process's exit still find it.
Published& published() {
  static Published* p = new Published();
  return *p;
}

}  // namespace

bool CSegment::load_resource(const DictResource& res) {
  std::shared_ptr<CResourceSet> set(CResourceSet::load(res));
  if (set == nullptr) return false;
  std::shared_ptr<const CResourceSet> old;
  Published& p = published();
  std::lock_guard<std::mutex> lock(p.mutex);
  if (p.pku) set->factoid->set_pku();
  if (p.ascii_handles > 0) set->factoid->set_ascii();
  old = std::move(p.set);
  p.set = std::move(set);
  p.generation.fetch_add(1, std::memory_order_release);
  return true;
}

void CSegment::unload_resource() {
  Published& p = published();
  std::shared_ptr<const CResourceSet> old_set;
  std::shared_ptr<const CCustomDict> old_dict;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    old_set.swap(p.set);
    old_dict.swap(p.user_dict);
    p.pku = false;
    p.generation.fetch_add(1, std::memory_order_release);
  }
  // The objects are freed here, outside the lock, unless a handle holds them.
}

bool CSegment::load_user_dict(const char* dir, const char* data_dir) {
  std::shared_ptr<CCustomDict> dict(new CCustomDict());
  const bool ok = dict->InitCDict(dir ? dir : "", data_dir ? data_dir : "");
  std::shared_ptr<const CCustomDict> old;
  Published& p = published();
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    old = std::move(p.user_dict);
    p.user_dict = std::move(dict);
    p.generation.fetch_add(1, std::memory_order_release);
  }
  return ok;
}

void CSegment::unload_user_dict() {
  std::shared_ptr<const CCustomDict> old;
  Published& p = published();
  std::lock_guard<std::mutex> lock(p.mutex);
  old.swap(p.user_dict);
  p.generation.fetch_add(1, std::memory_order_release);
}

void CSegment::set_pku_mode() {
  Published& p = published();
  std::lock_guard<std::mutex> lock(p.mutex);
  if (p.set == nullptr) return;
  p.pku = true;
  p.set->factoid->set_pku();
}

std::shared_ptr<const CResourceSet> CSegment::published_resources() {
  Published& p = published();
  std::lock_guard<std::mutex> lock(p.mutex);
  return p.set;
}

std::shared_ptr<const CCustomDict> CSegment::published_user_dict() {
  Published& p = published();
  std::lock_guard<std::mutex> lock(p.mutex);
  return p.user_dict;
}

void CSegment::_count_ascii_handle(int delta) {
  Published& p = published();
  std::lock_guard<std::mutex> lock(p.mutex);
  if (delta < 0) {
    if (p.ascii_handles > 0) --p.ascii_handles;
    return;
  }
  ++p.ascii_handles;
  if (p.set != nullptr && !p.set->factoid->bascii_mode) p.set->factoid->set_ascii();
}

void CSegment::_take_snapshot() {
  Published& p = published();
  if (p.generation.load(std::memory_order_acquire) == m_snapshot_gen) return;
  std::shared_ptr<const CResourceSet> set;
  std::shared_ptr<const CCustomDict> dict;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    m_snapshot_gen = p.generation.load(std::memory_order_relaxed);
    set = p.set;
    dict = p.user_dict;
  }
  // What the handle held before is let go outside the lock.
  m_res.swap(set);
  m_user_dict.swap(dict);
  _bind_resources();
}
