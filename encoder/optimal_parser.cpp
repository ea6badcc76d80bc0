#include "optimal_parser.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "item_prices.h"

namespace upkit {

namespace {

// One coded item: a literal (length 1) or a match.
struct Item {
    std::uint32_t length;
    std::uint32_t distance;
};

// The matches found at the positions from `base` on, clipped to the
// member. Positions are searched once, so the matches of positions that one
// parse looked at but did not code wait here for the next parse.
struct MatchCache {
    std::size_t base = 0;
    std::vector<MatchCandidate> candidates;
    std::vector<std::uint32_t> first;  // position base + i: candidates [first[i], first[i + 1])

    std::size_t end() const { return base + first.size() - 1; }
    std::uint32_t begin_of(std::size_t pos) const { return first[pos - base]; }
    std::uint32_t end_of(std::size_t pos) const { return first[pos - base + 1]; }

    void reset(std::size_t at)
    {
        base = at;
        candidates.clear();
        first.assign(1, 0);
    }
    void drop_before(std::size_t at)
    {
        const std::size_t k = at - base;
        const std::uint32_t dropped = first[k];
        candidates.erase(candidates.begin(), candidates.begin() + dropped);
        first.erase(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(k));
        for (std::uint32_t& f : first)
            f -= dropped;
        base = at;
    }
};

// The cheapest way found so far to reach one position of the block.
struct Arrival {
    std::uint32_t price;
    std::uint32_t length;  // of the last item: 1 for a literal
    std::uint32_t distance;
};

const std::uint32_t kUnreached = std::numeric_limits<std::uint32_t>::max();

class BlockParser {
public:
    BlockParser(const MatchLimits& limits, std::span<const std::uint8_t> data) : limits_(limits), data_(data) { }

    // The cheapest items for the `count` positions from `start` under the
    // given prices.
    std::vector<Item> parse(std::size_t start, std::size_t count, const MatchCache& matches, const ItemPrices& prices)
    {
        arrivals_.assign(count + 1, Arrival{kUnreached, 0, 0});
        arrivals_[0].price = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t here = arrivals_[i].price;
            relax(i + 1, here + prices.literal(data_[start + i]), 1, 0);

            // Every candidate serves every length up to its own.
            const std::uint32_t room = static_cast<std::uint32_t>(count - i);
            const std::uint32_t first = matches.begin_of(start + i);
            const std::uint32_t last = matches.end_of(start + i);
            if (first == last)
                continue;
            for (std::uint32_t length = kMinMatch; length < kMinLongMatch && length <= room; ++length)
                relax_short_match(i + length, here, length, matches, first, last, prices);

            // A long match's distance part does not change with its length,
            // so each length takes the cheapest candidate that reaches it,
            // the cheapest of this candidate and all longer ones: a farther
            // distance can fall in a slot the models have seen more often.
            // (Short matches keep the nearest: measured, the cheapest slot
            // there made solid archives larger.)
            cheapest_from_.resize(last - first);
            std::uint32_t best = last - 1;
            std::uint32_t best_price = kUnreached;
            for (std::uint32_t c = last; c-- > first;) {
                const std::uint32_t price = prices.distance_part(kMinLongMatch, matches.candidates[c].distance);
                if (price <= best_price) {
                    best = c;
                    best_price = price;
                }
                cheapest_from_[c - first] = best;
            }
            std::uint32_t length = kMinLongMatch;
            for (std::uint32_t c = first; c < last && length <= room; ++c) {
                const std::uint32_t top = std::min(matches.candidates[c].length, room);
                if (length > top)
                    continue;
                const MatchCandidate& m = matches.candidates[cheapest_from_[c - first]];
                const std::uint32_t base = here + prices.distance_part(kMinLongMatch, m.distance);
                for (; length <= top; ++length)
                    relax(i + length, base + prices.length_part(length), length, m.distance);
            }
        }

        std::vector<Item> items;
        for (std::size_t at = count; at > 0; at -= arrivals_[at].length)
            items.push_back({arrivals_[at].length, arrivals_[at].distance});
        std::reverse(items.begin(), items.end());
        return items;
    }

private:
    // A 3- or 4-byte match from the nearest candidate that reaches the
    // length and may code it at its distance.
    void relax_short_match(std::size_t to, std::uint32_t here, std::uint32_t length, const MatchCache& matches,
                           std::uint32_t first, std::uint32_t last, const ItemPrices& prices)
    {
        for (std::uint32_t c = first; c < last; ++c) {
            const MatchCandidate& m = matches.candidates[c];
            if (m.length >= length && limits_.codable_length(length, m.distance) == length) {
                relax(to, here + prices.length_part(length) + prices.distance_part(length, m.distance), length,
                      m.distance);
                return;
            }
        }
    }

    void relax(std::size_t to, std::uint32_t price, std::uint32_t length, std::uint32_t distance)
    {
        if (price < arrivals_[to].price)
            arrivals_[to] = {price, length, distance};
    }

    const MatchLimits& limits_;
    std::span<const std::uint8_t> data_;
    std::vector<Arrival> arrivals_;
    std::vector<std::uint32_t> cheapest_from_;  // by candidate: the cheapest long-match candidate from it on
};

// What the items really cost when coded one after the other from `models`,
// which are left as the coding leaves them.
std::uint64_t play(ItemModels& models, const std::vector<Item>& items, std::span<const std::uint8_t> data,
                   std::size_t start)
{
    std::uint64_t total = 0;
    std::size_t pos = start;
    for (const Item& item : items) {
        if (item.length == 1) {
            total += models.literal_price(data[pos]);
            models.update_literal(data[pos]);
        } else {
            total += models.match_price(item.length, item.distance);
            models.update_match(item.length, item.distance);
        }
        pos += item.length;
    }
    return total;
}

// The block's cheapest items: parsed first with the prices of the models as
// they are, then again with the prices of the models as the best parse so far
// leaves them, for as long as that really costs less.
std::vector<Item> cheapest_items(BlockParser& parser, const ItemModels& start_models, std::size_t start,
                                 std::size_t count, const MatchCache& matches, std::span<const std::uint8_t> data,
                                 int passes)
{
    std::vector<Item> best = parser.parse(start, count, matches, ItemPrices(start_models));
    if (passes <= 1)
        return best;
    ItemModels best_end = start_models;
    std::uint64_t best_cost = play(best_end, best, data, start);
    for (int pass = 1; pass < passes; ++pass) {
        std::vector<Item> items = parser.parse(start, count, matches, ItemPrices(best_end));
        ItemModels end = start_models;
        const std::uint64_t cost = play(end, items, data, start);
        if (cost >= best_cost)
            break;
        best = std::move(items);
        best_end = end;
        best_cost = cost;
    }
    return best;
}

}  // namespace

void parse_member_optimal(BinaryTreeFinder& finder, ItemEncoder& items, std::span<const std::uint8_t> data,
                          std::size_t begin, std::size_t end, const OptimalParseOptions& options)
{
    BlockParser parser(items.limits(), data);
    MatchCache matches;
    MatchCandidate found[kMaxCandidates];
    const std::size_t none = static_cast<std::size_t>(-1);

    // Each parse looks block_size positions ahead but codes only about
    // commit_size of them: the items near a parse's far end were chosen
    // without seeing what follows, and the prices drift as the models adapt.
    // A match of nice length ends the look-ahead and is taken as it is.
    std::size_t pos = begin;
    std::size_t nice_at = none;
    MatchCandidate nice{0, 0};
    matches.reset(pos);
    while (pos < end) {
        const std::size_t horizon = std::min(end, pos + options.block_size);
        while (nice_at == none && matches.end() < horizon) {
            const std::size_t i = matches.end();
            const std::size_t n = finder.find(i, found);
            const std::uint32_t room = static_cast<std::uint32_t>(std::min<std::size_t>(kMaxMatch, end - i));
            for (std::size_t k = 0; k < n; ++k) {
                const std::uint32_t length = std::min(found[k].length, room);
                if (length < kMinMatch)
                    continue;
                matches.candidates.push_back({length, found[k].distance});
                if (length == room)
                    break;  // longer candidates clip to the same length, farther away
            }
            matches.first.push_back(static_cast<std::uint32_t>(matches.candidates.size()));
            const std::uint32_t longest = n ? std::min(found[n - 1].length, room) : 0;
            if (longest >= options.nice_length && longest >= kMinLongMatch) {
                nice_at = i;
                nice = {longest, matches.candidates.back().distance};
            }
        }

        const std::size_t limit = nice_at != none ? nice_at : matches.end();
        if (limit > pos) {
            const std::vector<Item> chosen =
                cheapest_items(parser, items.models(), pos, limit - pos, matches, data, options.passes);
            const bool to_limit = limit == end || nice_at != none;
            const std::size_t commit_to = to_limit ? limit : pos + options.commit_size;
            for (const Item& item : chosen) {
                if (pos >= commit_to)
                    break;
                if (item.length == 1)
                    items.literal(data[pos]);
                else
                    items.match(item.length, item.distance);
                pos += item.length;
            }
        }
        if (pos == nice_at) {
            items.match(nice.length, nice.distance);
            for (std::size_t p = pos + 1; p < pos + nice.length; ++p)
                finder.skip(p);
            pos += nice.length;
            nice_at = none;
            matches.reset(pos);
        } else if (pos - matches.base >= options.block_size) {
            matches.drop_before(pos);
        }
    }
}

}  // namespace upkit
