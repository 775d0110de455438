#include "platform/storage/compoundnode.h"

#include <algorithm>
#include <utility>

#include "platform/storage/cfbformat.h"

namespace recfilereader {

namespace {

auto LowerBound(const std::vector<std::shared_ptr<CompoundNode>>& children,
                std::u16string_view name) {
  return std::lower_bound(children.begin(), children.end(), name,
                          [](const std::shared_ptr<CompoundNode>& child, std::u16string_view key) {
                            return cfb::CompareNames(child->name, key) < 0;
                          });
}

}  // namespace

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
  const auto it = LowerBound(children, key);
  if (it != children.end() && cfb::CompareNames((*it)->name, key) == 0) return *it;
  return nullptr;
}

void CompoundNode::InsertChild(std::shared_ptr<CompoundNode> child) {
  child->parent = this;
  const auto it = LowerBound(children, child->name);
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
