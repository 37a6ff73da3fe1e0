#!/usr/bin/env python3
"""Writes BigMap.ini: a few thousand lines of unit blocks for load and expand timings.

The output is the same on every run and every Python 3 version: the numbers come from a small
generator of our own, not from the random module, whose sequences may change between releases.

Usage: generate-bigmap.py [output path]   (default: BigMap.ini next to this script)
"""

import sys
from pathlib import Path

UNIT_COUNT = 64

FACTIONS = ["Meridian", "Ashfall", "Tidewarden", "Gravel"]
CHASSIS = ["Lancer", "Raider", "Skimmer", "Crawler", "Bastion", "Harrier", "Warden", "Sapper",
           "Mule", "Spire", "Thresher", "Courier", "Ram", "Lantern", "Pike", "Drover"]
STATES = ["WORN", "WRECKED", "DRIVING", "SHOOTING", "RELOADING", "AFLOAT", "WINTER", "DARK",
          "CREWED", "AIMING"]
WEAPONS = ["RailLanceCannon", "LancerCoaxGun", "SkimmerPulseDart", "HarrowMortarShell",
           "ScrapRifle"]
ARMORS = ["PlatedHullArmor", "ClothAndKevlar"]
REMARKS = ["tuned after the last ladder season", "keep in step with the reskin",
           "placeholder art", "matches the campaign variant", "slower than it looks",
           "raised for the bridge maps", "test value"]


class Numbers:
    """Linear congruential generator (constants from Knuth's MMIX)."""

    def __init__(self, seed):
        self.m_state = seed

    def below(self, n):
        self.m_state = (self.m_state * 6364136223846793005 + 1442695040888963407) % 2**64
        return (self.m_state >> 33) % n

    def pick(self, items):
        return items[self.below(len(items))]

    def chance(self, percent):
        return self.below(100) < percent


class Writer:
    """Collects indented lines; adds an end-of-line remark now and then."""

    def __init__(self, numbers):
        self.m_numbers = numbers
        self.m_lines = []

    def line(self, depth, text=""):
        self.m_lines.append(("  " * depth + text) if text else "")

    def setting(self, depth, name, value):
        text = "%s = %s" % (name.ljust(21), value)
        if self.m_numbers.chance(12):
            text = "%s ; %s" % (text.ljust(39), self.m_numbers.pick(REMARKS))
        self.line(depth, text)

    def text(self):
        return "".join(line + "\r\n" for line in self.m_lines)


def end_word(numbers):
    """Mostly "End", sometimes the other spellings hand-edited files carry."""
    return numbers.pick(["End"] * 8 + ["END", "end"])


def write_draw(out, numbers, model):
    states = [STATES[i] for i in sorted({numbers.below(len(STATES))
                                         for _ in range(1 + numbers.below(6))})]
    out.line(1, "Draw = ModelDraw Part_01")
    out.setting(2, "TeamTinted", "Yes")
    out.line(0)
    out.line(2, "DefaultConditionState")
    out.setting(3, "Model", model)
    out.setting(3, "TurretBone", "Turret01")
    out.setting(3, "MuzzleBone", "MAIN Muzzle")
    out.line(2, end_word(numbers))
    for state in states:
        out.line(0)
        out.line(2, "ConditionState = %s" % state)
        out.setting(3, "Model", "%s_%s" % (model, state.title().replace("_", "")))
        if numbers.chance(40):
            out.setting(3, "Clip", "%s_Idle" % model)
            out.setting(3, "PlayMode", numbers.pick(["REPEAT", "ONE_SHOT", "BACK_AND_FORTH"]))
        out.line(2, end_word(numbers))
    if len(states) > 1 and numbers.chance(60):
        out.line(0)
        out.line(2, "TransitionState = %s %s" % (states[0], states[1]))
        out.setting(3, "Clip", "%s_Shift" % model)
        out.line(2, end_word(numbers))
    if len(states) > 1 and numbers.chance(30):
        out.line(2, "AliasConditionState = %s %s" % (states[-1], states[0]))
        out.setting(3, "Model", "%s_%s" % (model, states[-1].title().replace("_", "")))
        out.line(2, end_word(numbers))
    out.line(1, end_word(numbers))


def write_behaviors(out, numbers):
    out.line(1, "Behavior = Pilot Part_02")
    out.line(2, "Turret")
    out.setting(3, "TraverseRate", 30 + 10 * numbers.below(25))
    out.setting(3, "Slots", "MAIN")
    out.line(2, end_word(numbers))
    if numbers.chance(35):
        out.line(2, "AltTurret")
        out.setting(3, "TraverseRate", 60 + 10 * numbers.below(20))
        out.setting(3, "Slots", "SIDE")
        out.line(2, end_word(numbers))
    out.setting(2, "IdleTargeting", numbers.pick(["Yes", "No"]))
    out.line(1, end_word(numbers))
    out.line(0)
    out.line(1, "Behavior = MassBehavior Part_03")
    out.setting(2, "Mass", "%d.0" % (10 + numbers.below(90)))
    out.line(1, end_word(numbers))


def write_unit(out, numbers, index):
    faction = FACTIONS[index % len(FACTIONS)]
    name = "%s%s%02d" % (faction, numbers.pick(CHASSIS), index)
    model = "%s_%s" % (faction[:2].upper(), name[len(faction):])
    health = 100 + 20 * numbers.below(30)

    out.line(0, ";" + "-" * 60)
    out.line(0, "; %s, unit %d of %d" % (name, index + 1, UNIT_COUNT))
    out.line(0, ";" + "-" * 60)
    out.line(0, "%s %s" % (numbers.pick(["Object"] * 6 + ["OBJECT", "object"]), name))
    out.setting(1, "DisplayName", '"%s"' % name[len(faction):])
    out.setting(1, "Side", faction)
    out.setting(1, "Cost", 100 * (2 + numbers.below(15)))
    out.setting(1, "BuildSeconds", "%d.0" % (3 + numbers.below(14)))
    out.line(0)
    out.line(1, "; --- art ---")
    write_draw(out, numbers, model)
    out.line(0)
    out.line(1, "; --- design ---")
    out.line(1, "Prerequisites")
    out.setting(2, "Object", "%sVehicleYard" % faction)
    out.line(1, end_word(numbers))
    out.line(1, "ArmorSet")
    out.setting(2, "When", "Always")
    out.setting(2, "Plating", numbers.pick(ARMORS))
    out.line(1, end_word(numbers))
    out.line(1, "WeaponSet")
    out.setting(2, "When", "Always")
    out.setting(2, "Weapon", "MAIN %s" % numbers.pick(WEAPONS))
    if numbers.chance(40):
        out.setting(2, "Weapon", "SIDE %s" % numbers.pick(WEAPONS))
    out.line(1, end_word(numbers))
    out.line(1, "Body = HullBody Part_04")
    out.setting(2, "MaxHealth", "%d.0" % health)
    out.setting(2, "StartHealth", "%d.0" % health)
    out.line(1, end_word(numbers))
    out.line(0)
    out.line(1, "; --- behaviour ---")
    write_behaviors(out, numbers)
    out.line(0)
    out.line(1, "UnitSpecificSounds")
    out.setting(2, "ReadyLine", "%sVoiceReady" % name)
    out.setting(2, "MoveLine", "%sVoiceMove" % name)
    out.line(1, end_word(numbers))
    if numbers.chance(50):
        out.line(1, "ClientUpdate = DustTrailUpdate Part_05")
        out.setting(2, "TrailEmitter", numbers.pick(["TrackDust", "SkirtSpray", "AshPlume"]))
        out.line(1, end_word(numbers))
    out.line(1, "DeathTypes")
    out.setting(2, "Allowed", numbers.pick(["BLOWN_UP", "BLOWN_UP FLATTENED", "TORCHED"]))
    out.line(1, end_word(numbers))
    out.setting(1, "SightRange", 100 + 20 * numbers.below(10))
    out.line(0, end_word(numbers))
    out.line(0)
    return name, model


def write_reskin(out, numbers, base, model):
    out.line(0, "ObjectReskin %s_Winter %s" % (base, base))
    out.line(1, "Draw = ModelDraw Part_01")
    out.line(2, "DefaultConditionState")
    out.setting(3, "Model", "%s_Snow" % model)
    out.line(2, end_word(numbers))
    out.line(2, "ConditionState = WRECKED")
    out.setting(3, "Model", "%s_SnowWreck" % model)
    out.line(2, end_word(numbers))
    out.line(1, end_word(numbers))
    out.line(0, end_word(numbers))
    out.line(0)


def main():
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("BigMap.ini")
    numbers = Numbers(20251207)
    out = Writer(numbers)
    out.line(0, "; BigMap.ini - generated by generate-bigmap.py; edit the script, not this file.")
    out.line(0)
    out.line(0, "Version = 12")
    out.line(0)
    for index in range(UNIT_COUNT):
        name, model = write_unit(out, numbers, index)
        if index % 8 == 7:
            write_reskin(out, numbers, name, model)
    target.write_bytes(out.text().encode("ascii"))


if __name__ == "__main__":
    main()
