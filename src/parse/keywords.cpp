#include "parse/keywords.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

namespace ini {

namespace {

// Every block path the viewer knows, outermost name first, in the order they are listed.
constexpr std::array<std::string_view, 115> knownBlockPaths = {
    ";mustgrow;",
    ";AIData;",
    ";Animation;",
    ";Armor;",
    ";AudioSettings;",
    ";Campaign;",
    ";Campaign;;Mission;",
    ";CommandButton;",
    ";CommandMap;",
    ";CommandSet;",
    ";ControlBarResizer;",
    ";ControlBarScheme;",
    ";ControlBarScheme;;ImagePart;",
    ";CrateData;",
    ";Object;",
    ";Object;;Draw;",
    ";Object;;Draw;;DefaultConditionState;",
    ";Object;;Behavior;",
    ";Credits;",
    ";DamageFX;",
    ";DrawGroupInfo;",
    ";EvaEvent;",
    ";EvaEvent;;SideSounds;",
    ";FXList;",
    ";FXList;;ParticleSystem;",
    ";FXList;;Sound;",
    ";FXList;;LightPulse;",
    ";FXList;;ViewShake;",
    ";FXList;;TerrainScorch;",
    ";FXList;;Tracer;",
    ";FXList;;FXListAtBonePos;",
    ";GameData;",
    ";StaticGameLOD;",
    ";DynamicGameLOD;",
    ";InGameUI;",
    ";InGameUI;;SpyDroneRadiusCursor;",
    ";InGameUI;;AttackScatterAreaRadiusCursor;",
    ";InGameUI;;SuperweaponScatterAreaRadiusCursor;",
    ";InGameUI;;AttackDamageAreaRadiusCursor;",
    ";InGameUI;;AttackContinueAreaRadiusCursor;",
    ";InGameUI;;GuardAreaRadiusCursor;",
    ";InGameUI;;EmergencyRepairRadiusCursor;",
    ";InGameUI;;FriendlySpecialPowerRadiusCursor;",
    ";InGameUI;;OffensiveSpecialPowerRadiusCursor;",
    ";InGameUI;;ParticleCannonRadiusCursor;",
    ";InGameUI;;A10StrikeRadiusCursor;",
    ";InGameUI;;CarpetBombRadiusCursor;",
    ";InGameUI;;DaisyCutterRadiusCursor;",
    ";InGameUI;;ParadropRadiusCursor;",
    ";InGameUI;;SpySatelliteRadiusCursor;",
    ";InGameUI;;NuclearMissileRadiusCursor;",
    ";InGameUI;;EMPPulseRadiusCursor;",
    ";InGameUI;;ArtilleryRadiusCursor;",
    ";InGameUI;;NapalmStrikeRadiusCursor;",
    ";InGameUI;;ClusterMinesRadiusCursor;",
    ";InGameUI;;ScudStormRadiusCursor;",
    ";InGameUI;;AnthraxBombRadiusCursor;",
    ";InGameUI;;AmbushRadiusCursor;",
    ";InGameUI;;RadarRadiusCursor;",
    ";Locomotor;",
    ";MiscAudio;",
    ";Mouse;",
    ";MouseCursor;",
    ";OnlineChatColors;",
    ";MultiplayerSettings;",
    ";MultiplayerColor;",
    ";ParticleSystem;",
    ";MusicTrack;",
    ";ObjectCreationList;",
    ";ObjectCreationList;;CreateDebris;",
    ";ObjectCreationList;;CreateObject;",
    ";ObjectCreationList;;ApplyRandomForce;",
    ";ObjectCreationList;;DeliverPayload;",
    ";ObjectCreationList;;DeliverPayload;;DeliveryDecal;",
    ";ObjectCreationList;;FireWeapon;",
    ";ObjectCreationList;;Attack;",
    ";ObjectCreationList;;Attack;;DeliveryDecal;",
    ";PlayerTemplate;",
    ";Rank;",
    ";Road;",
    ";Bridge;",
    ";Science;",
    ";ShellMenuScheme;",
    ";AudioEvent;",
    ";SpecialPower;",
    ";DialogEvent;",
    ";Terrain;",
    ";Upgrade;",
    ";Video;",
    ";WaterSet;",
    ";WaterTransparency;",
    ";Weapon;",
    ";WebpageURL;",
    ";WindowTransition;",
    ";WindowTransition;;Window;",
    ";Object;;Draw;;ConditionState;",
    ";Object;;Draw;;TransitionState;",
    ";Object;;Draw;;AliasConditionState;",
    ";Object;;ArmorSet;",
    ";Object;;WeaponSet;",
    ";Object;;Body;",
    ";Object;;Behavior;;Turret;",
    ";Object;;Behavior;;AltTurret;",
    ";Object;;Behavior;;GridDecalTemplate;",
    ";Object;;Behavior;;DeliveryDecal;",
    ";Object;;Prerequisites;",
    ";Object;;UnitSpecificSounds;",
    ";Object;;UnitSpecificFX;",
    ";Object;;DeathTypes;",
    ";ObjectReskin;",
    ";ObjectReskin;;Draw;",
    ";ObjectReskin;;Draw;;DefaultConditionState;",
    ";ObjectReskin;;Draw;;ConditionState;",
    ";ObjectReskin;;Draw;;TransitionState;",
    ";Object;;ClientUpdate;",
};

// Calls `onName` with each block name of a path such as ";a;;b;" ("a", then "b"). Returns
// false when the text is not a well-formed path.
template <typename OnName> bool ForEachName(std::string_view path, OnName&& onName) {
    if (path.empty())
        return false;
    while (!path.empty()) {
        if (path.front() != ';')
            return false;
        const std::size_t close = path.find(';', 1);
        if (close == std::string_view::npos || close == 1)
            return false;
        onName(path.substr(1, close - 1));
        path.remove_prefix(close + 1);
    }
    return true;
}

} // namespace

std::string ToLowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = ToLowerAscii(c);
    return lower;
}

namespace {

template <std::size_t bytes> std::uint64_t Load(const char* at) noexcept {
    std::uint64_t word = 0;
    std::memcpy(&word, at, bytes);
    return word;
}

// ToLowerAscii on each of eight bytes at once: A-Z gain 0x20, every other byte stays.
std::uint64_t LowerAscii8(std::uint64_t bytes) noexcept {
    constexpr std::uint64_t ones = 0x0101010101010101u;
    const std::uint64_t low7 = bytes & (0x7F * ones);
    // Per byte, no carry into the next: top bit set when the low seven bits are >= 'A', > 'Z'.
    const std::uint64_t fromA = low7 + (0x80 - 'A') * ones;
    const std::uint64_t pastZ = low7 + (0x80 - 'Z' - 1) * ones;
    const std::uint64_t upper = fromA & ~pastZ & ~bytes & (0x80 * ones);
    return bytes | (upper >> 2);
}

// A word of `size` bytes, lower-cased, as one number: of two words of one size, equal in any
// case up to their ninth byte exactly when these numbers are. It is their first eight bytes, or
// for a word of four to eight its first and last four (which overlap), or else its bytes.
[[gnu::always_inline]] inline std::uint64_t LoweredHead(const char* word,
                                                        std::size_t size) noexcept {
    if (size >= 8)
        return LowerAscii8(Load<8>(word));
    if (size >= 4)
        return LowerAscii8(Load<4>(word) | Load<4>(word + size - 4) << 32);
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < size; ++i)
        bytes |= std::uint64_t{static_cast<unsigned char>(word[i])} << (8 * i);
    return LowerAscii8(bytes);
}

// Whether `word` lower-cased equals `lower` from their ninth byte on, both `size` bytes (more
// than eight): eight bytes at a time, the last eight overlapping what was compared already.
bool TailsEqualLowered(const char* word, const char* lower, std::size_t size) noexcept {
    for (std::size_t at = 8; at + 8 < size; at += 8) {
        if (LowerAscii8(Load<8>(word + at)) != Load<8>(lower + at))
            return false;
    }
    return LowerAscii8(Load<8>(word + size - 8)) == Load<8>(lower + size - 8);
}

} // namespace

void Keywords::InitKeywords() {
    for (std::string_view path : knownBlockPaths)
        m_grow.emplace_back(path);
    m_table.assign(m_grow.size(), {});
    for (std::size_t i = 0; i < m_grow.size(); ++i)
        m_table[i] = ToLowerAscii(m_grow[i]);
    BuildLookup();
}

void Keywords::BuildLookup() {
    m_nodes.assign(1, Node{});
    m_longestName = 0;
    for (const std::string& path : m_table)
        AddPath(path);
    const std::size_t groups = m_nodes.size() * (m_longestName + 1);
    m_letters.assign(groups, 0);
    m_nameLetters.assign(std::max<std::size_t>(m_nodes.size(), 1), 0);
    m_groupStart.assign(groups + 1, 0);
    for (PathNode id = 1; id < m_nodes.size(); ++id) {
        const Node& node = m_nodes[id];
        if (node.listed) {
            const std::uint64_t second = LetterBit(node.name.size() > 1 ? node.name[1] : '\0');
            const std::uint64_t letters = LetterBit(node.name.front()) | second << 32;
            m_letters[GroupOf(node.parent, node.name.size())] |= letters;
            m_nameLetters[node.parent] |= letters;
            ++m_groupStart[GroupOf(node.parent, node.name.size()) + 1];
        }
    }
    const std::uint64_t endLetters = LetterBit('e') | std::uint64_t{LetterBit('n')} << 32;
    for (PathNode id = 1; id < m_nodes.size(); ++id)
        m_nameLetters[id] |= endLetters;
    for (std::size_t g = 0; g < groups; ++g)
        m_groupStart[g + 1] += m_groupStart[g];
    m_grouped.assign(m_groupStart.back(), noBlockOpen);
    m_groupedNames.assign(m_grouped.size() * m_longestName, '\0');
    m_groupedHeads.assign(m_grouped.size(), 0);
    std::vector<std::uint32_t> filled(m_groupStart.begin(), m_groupStart.end() - 1);
    for (PathNode id = 1; id < m_nodes.size(); ++id) {
        const Node& node = m_nodes[id];
        if (node.listed) {
            const std::uint32_t at = filled[GroupOf(node.parent, node.name.size())]++;
            m_grouped[at] = id;
            node.name.copy(m_groupedNames.data() + at * m_longestName, node.name.size());
            m_groupedHeads[at] = LoweredHead(node.name.data(), node.name.size());
        }
    }
}

PathNode Keywords::AddPath(std::string_view lowerPath) {
    PathNode node = noBlockOpen;
    std::size_t depth = 0;
    const bool wellFormed = ForEachName(lowerPath, [&](std::string_view name) {
        if (++depth > maxPathDepth)
            throw std::length_error("block path in keyword table too deep");
        // Runs once per listed name at start-up, over a few hundred nodes: a plain search will do.
        const auto existing = std::find_if(m_nodes.begin() + 1, m_nodes.end(), [&](const Node& n) {
            return n.parent == node && n.name == name;
        });
        if (existing != m_nodes.end()) {
            node = static_cast<PathNode>(existing - m_nodes.begin());
            return;
        }
        if (m_nodes.size() >= 0xFFFF)
            throw std::length_error("keyword table too large");
        m_nodes.push_back(Node{std::string(name), node});
        m_longestName = std::max(m_longestName, name.size());
        node = static_cast<PathNode>(m_nodes.size() - 1);
    });
    if (!wellFormed)
        throw std::invalid_argument("malformed block path in keyword table");
    m_nodes[node].listed = true;
    return node;
}

PathNode Keywords::FindChild(PathNode parent, std::string_view name) const noexcept {
    if (name.size() > m_longestName)
        return noBlockOpen;
    // A group's names all have the word's length; most differ from it in their heads.
    const std::size_t group = GroupOf(parent, name.size());
    if (group + 1 >= m_groupStart.size())
        return noBlockOpen; // `parent` is no node of this table
    const std::uint64_t head = LoweredHead(name.data(), name.size());
    for (std::uint32_t i = m_groupStart[group]; i < m_groupStart[group + 1]; ++i) {
        if (m_groupedHeads[i] == head &&
            (name.size() <= 8 ||
             TailsEqualLowered(name.data(), m_groupedNames.data() + i * m_longestName,
                               name.size())))
            return m_grouped[i];
    }
    return noBlockOpen;
}

} // namespace ini
