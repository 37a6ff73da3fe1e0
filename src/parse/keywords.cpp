#include "parse/keywords.h"

#include <array>
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

void Keywords::InitKeywords() {
    for (std::string_view path : knownBlockPaths)
        m_grow.emplace_back(path);
    m_table.assign(m_grow.size(), {});
    for (std::size_t i = 0; i < m_grow.size(); ++i)
        m_table[i] = ToLowerAscii(m_grow[i]);
    BuildLookup();
}

std::uint32_t Keywords::Hash(PathNode parent, std::string_view name) noexcept {
    std::uint32_t h = 2166136261u ^ parent;
    for (char c : name)
        h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h;
}

void Keywords::BuildLookup() {
    m_nodes.assign(1, Node{});
    m_longestName = 0;
    std::size_t capacity = 64;
    while (capacity < m_table.size() * 4)
        capacity *= 2;
    m_slots.assign(capacity, Slot{});
    for (const std::string& path : m_table)
        AddPath(path);
    m_firstLetters.assign(m_nodes.size() * (m_longestName + 1), 0);
    for (PathNode id = 1; id < m_nodes.size(); ++id) {
        const Node& node = m_nodes[id];
        if (node.listed)
            m_firstLetters[node.parent * (m_longestName + 1) + node.name.size()] |=
                LetterBit(node.name.front());
    }
}

PathNode Keywords::AddPath(std::string_view lowerPath) {
    PathNode node = noBlockOpen;
    const bool wellFormed = ForEachName(lowerPath, [&](std::string_view name) {
        if (const PathNode existing = FindNode(node, name); existing != noBlockOpen) {
            node = existing;
            return;
        }
        if (m_nodes.size() >= 0xFFFF)
            throw std::length_error("keyword table too large");
        m_nodes.push_back(Node{std::string(name), node});
        const auto added = static_cast<PathNode>(m_nodes.size() - 1);
        const std::uint32_t hash = Hash(node, name);
        const std::size_t mask = m_slots.size() - 1;
        std::size_t i = hash & mask;
        while (m_slots[i].node != noBlockOpen)
            i = (i + 1) & mask;
        m_slots[i] = Slot{hash, added};
        m_longestName = std::max(m_longestName, name.size());
        node = added;
    });
    if (!wellFormed)
        throw std::invalid_argument("malformed block path in keyword table");
    m_nodes[node].listed = true;
    return node;
}

PathNode Keywords::FindChild(PathNode parent, std::string_view lowerName) const noexcept {
    const PathNode node = FindNode(parent, lowerName);
    return node != noBlockOpen && m_nodes[node].listed ? node : noBlockOpen;
}

PathNode Keywords::FindNode(PathNode parent, std::string_view lowerName) const noexcept {
    if (m_slots.empty() || lowerName.size() > m_longestName)
        return noBlockOpen;
    const std::uint32_t hash = Hash(parent, lowerName);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask; m_slots[i].node != noBlockOpen; i = (i + 1) & mask) {
        const Slot& slot = m_slots[i];
        if (slot.hash == hash) {
            const Node& candidate = m_nodes[slot.node];
            if (candidate.parent == parent && candidate.name == lowerName)
                return slot.node;
        }
    }
    return noBlockOpen;
}

} // namespace ini
