#include "platform/storage/compoundnode.h"

#include <algorithm>
#include <utility>

#include "platform/storage/cfbformat.h"

namespace recfilereader {

namespace {

template <int (*Compare)(std::u16string_view, std::u16string_view)>
auto LowerBound(const std::vector<std::shared_ptr<CompoundNode>>& children,
                std::u16string_view name) {
  return std::lower_bound(children.begin(), children.end(), name,
                          [](const std::shared_ptr<CompoundNode>& child, std::u16string_view key) {
                            return Compare(child->name, key) < 0;
                          });
}

}  // namespace

int CompareSiblingNames(std::u16string_view a, std::u16string_view b) {
  const int order = cfb::CompareNames(a, b);
  if (order != 0) return order;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

CompoundNode::~CompoundNode() {
  std::vector<std::shared_ptr<CompoundNode>> pending = std::move(children);
  while (!pending.empty()) {
    std::shared_ptr<CompoundNode> node = std::move(pending.back());
    pending.pop_back();
    if (node.use_count() == 1) {
      for (auto& child : node->children) pending.push_back(std::move(child));
      node->children.clear();
    }
  }
}

std::shared_ptr<CompoundNode> CompoundNode::FindChild(std::u16string_view key) const {
  const auto exact = LowerBound<CompareSiblingNames>(children, key);
  if (exact != children.end() && (*exact)->name == key) return *exact;
  const auto it = LowerBound<cfb::CompareNames>(children, key);
  if (it != children.end() && cfb::CompareNames((*it)->name, key) == 0) return *it;
  return nullptr;
}

bool CompoundNode::NameTaken(std::u16string_view key, const CompoundNode* except) const {
  for (auto it = LowerBound<cfb::CompareNames>(children, key);
       it != children.end() && cfb::CompareNames((*it)->name, key) == 0; ++it) {
    if (it->get() != except) return true;
  }
  return false;
}

void CompoundNode::InsertChild(std::shared_ptr<CompoundNode> child) {
  child->parent = this;
  const auto it = LowerBound<CompareSiblingNames>(children, child->name);
  children.insert(it, std::move(child));
}

void CompoundNode::RemoveChild(const CompoundNode& child) {
  const auto it = std::find_if(children.begin(), children.end(),
                               [&](const auto& c) { return c.get() == &child; });
  if (it == children.end()) return;
  std::vector<CompoundNode*> pending{it->get()};
  while (!pending.empty()) {
    CompoundNode* node = pending.back();
    pending.pop_back();
    node->removed = true;
    for (auto& c : node->children) pending.push_back(c.get());
  }
  (*it)->parent = nullptr;
  children.erase(it);
}

void CompoundNode::RenameChild(const CompoundNode& child, std::u16string new_name) {
  const auto it = std::find_if(children.begin(), children.end(),
                               [&](const auto& c) { return c.get() == &child; });
  if (it == children.end()) return;
  std::shared_ptr<CompoundNode> node = std::move(*it);
  children.erase(it);
  node->name = std::move(new_name);
  InsertChild(std::move(node));
}

}  // namespace recfilereader
