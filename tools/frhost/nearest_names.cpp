#include "tools/frhost/nearest_names.h"

#include <algorithm>
#include <numeric>

#include "platform/text.h"

namespace fr {

size_t NameDistance(std::u16string_view a, std::u16string_view b) {
    const std::u16string x = LowerCase(a), y = LowerCase(b);
    std::vector<size_t> row(y.size() + 1);
    std::iota(row.begin(), row.end(), size_t{0});
    for (size_t i = 1; i <= x.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= y.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] != y[j - 1])});
            diagonal = above;
        }
    }
    return row[y.size()];
}

std::vector<std::u16string> NearestNames(std::u16string_view name,
                                         const std::vector<std::u16string>& candidates,
                                         size_t limit) {
    const std::u16string lowered = LowerCase(name);
    const size_t reach = std::max<size_t>(2, name.size() / 3);
    std::vector<std::pair<size_t, std::u16string>> near;
    for (const std::u16string& candidate : candidates) {
        if (candidate.empty()) continue;
        const bool unseen = std::none_of(near.begin(), near.end(),
                                         [&](const auto& n) { return n.second == candidate; });
        if (!unseen) continue;
        const size_t distance = NameDistance(name, candidate);
        const std::u16string other = LowerCase(candidate);
        const bool overlaps = !lowered.empty() && other.find(lowered) != std::u16string::npos;
        if (distance <= reach || overlaps) near.emplace_back(distance, candidate);
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::u16string> out;
    for (size_t i = 0; i < near.size() && i < limit; ++i)
        out.push_back(near[i].second);
    return out;
}

namespace {

template <class Count, class Name>
std::vector<std::u16string> Names(Count count, Name name) {
    int32_t n = 0;
    if (HrFailed(count(n))) return {};
    std::vector<std::u16string> out;
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t alias = 0; alias < 2; ++alias) {
            std::u16string text;
            if (!HrFailed(name(i, alias, text)) && !text.empty()) out.push_back(text);
        }
    }
    return out;
}

}  // namespace

std::vector<std::u16string> MethodNames(TFrComponent& component) {
    std::vector<std::u16string> names = Names([&](int32_t& n) { return component.GetNMethods(n); },
                                              [&](int32_t i, int32_t alias, std::u16string& text) {
                                                  return component.GetMethodName(i, alias, text);
                                              });
    for (std::u16string& name : component.OtherAliases(true))
        names.push_back(std::move(name));
    return names;
}

std::vector<std::u16string> PropertyNames(TFrComponent& component) {
    std::vector<std::u16string> names = Names([&](int32_t& n) { return component.GetNProps(n); },
                                              [&](int32_t i, int32_t alias, std::u16string& text) {
                                                  return component.GetPropName(i, alias, text);
                                              });
    for (std::u16string& name : component.OtherAliases(false))
        names.push_back(std::move(name));
    return names;
}

}  // namespace fr
