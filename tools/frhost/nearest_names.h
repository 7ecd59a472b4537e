#pragma once
// The names a component knows, and the ones nearest to a name it does not.

#include <string>
#include <vector>

#include "tools/frhost/component.h"

namespace fr {

// Edit distance (insertions, deletions, substitutions), letters compared
// without case, Latin and Cyrillic alike.
size_t NameDistance(std::u16string_view a, std::u16string_view b);

// Up to `limit` candidates nearest to `name`, nearest first: those within a
// third of the name's length (at least 2 edits), or that hold it.
std::vector<std::u16string> NearestNames(std::u16string_view name,
                                         const std::vector<std::u16string>& candidates,
                                         size_t limit = 3);

// Every method name, or every property name, under both aliases.
std::vector<std::u16string> MethodNames(TFrComponent& component);
std::vector<std::u16string> PropertyNames(TFrComponent& component);

}  // namespace fr
