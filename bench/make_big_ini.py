#!/usr/bin/env python3
"""Writes large, realistic block files for the benchmarks.

  make_big_ini.py --megabytes 100 OUT      objects with draw states, behaviours, comments
  make_big_ini.py --flat-lines 3000000 OUT every line a top-level line (the worst case)

CRLF line ends, deterministic output.
"""
import argparse
import random

UNIT = """;------------------------------------------------------------
; {name}: generated unit {n}
;------------------------------------------------------------
Object {name}

  ; --- art ---
  SelectPortrait      = {name}_Portrait
  DisplayName         = "Unit {n}"     ; shown in the build bar

  Draw = ModelDraw ModuleTag_01
    OkToChangeModelColor = Yes
    DefaultConditionState
      Model           = {name}_Hull
      Turret          = Turret01
      WeaponFireFXBone = PRIMARY Muzzle
    End
{states}
    TransitionState   = MOVING STILL
      Animation       = {name}_Stop
      AnimationMode   = ONCE
    End
  End

  ; --- gameplay ---
  Side                = Faction{side}
  BuildCost           = {cost}
  BuildTime           = {time}.0        ; seconds
  VisionRange         = {vision}
  ArmorSet
    Conditions        = None
    Armor             = TankArmor{side}
  End
  WeaponSet
    Conditions        = None
    Weapon            = PRIMARY {name}Gun
  End

  Body = ActiveBody ModuleTag_02
    MaxHealth         = {health}.0
    InitialHealth     = {health}.0
  End

  Behavior = AIUpdateInterface ModuleTag_03
    Turret
      TurretTurnRate  = {turn}
      ControlledWeaponSlots = PRIMARY
    End
    AutoAcquireEnemiesWhenIdle = Yes
  End
{behaviors}
  Locomotor           = SET_NORMAL {name}Locomotor
  Geometry            = BOX
  GeometryMajorRadius = 12.0
  GeometryMinorRadius = 8.0
  Shadow              = SHADOW_VOLUME
End

"""

STATE = """    ConditionState    = {cond}
      Model           = {name}_{cond}
      ParticleSysBone = Smoke{k} SmolderingSmoke
    End
"""

BEHAVIOR = """  Behavior = {kind} ModuleTag_{tag:02d}
    DeathWeapon       = {name}DeathWeapon   ; explodes
    StartsActive      = Yes
  End
"""

CONDS = ["DAMAGED", "REALLYDAMAGED", "RUBBLE", "MOVING", "FIRING_A", "RELOADING_A"]
KINDS = ["FireWeaponWhenDeadBehavior", "SlowDeathBehavior", "PhysicsBehavior",
         "DestroyDie", "CreateObjectDie", "TransitionDamageFX"]


def write_objects(out, megabytes):
    rng = random.Random(12345)
    target = megabytes * 1024 * 1024
    written = 0
    n = 0
    chunk = []
    while written < target:
        name = "Unit%06d" % n
        states = "".join(STATE.format(cond=c, name=name, k=k)
                         for k, c in enumerate(rng.sample(CONDS, rng.randint(1, 4))))
        behaviors = "".join(BEHAVIOR.format(kind=k, tag=4 + i, name=name)
                            for i, k in enumerate(rng.sample(KINDS, rng.randint(1, 4))))
        text = UNIT.format(name=name, n=n, states=states, behaviors=behaviors,
                           side=rng.randint(1, 3), cost=rng.randint(100, 3000),
                           time=rng.randint(5, 40), vision=rng.randint(100, 400),
                           health=rng.randint(100, 900), turn=rng.randint(30, 200))
        data = text.replace("\n", "\r\n").encode("ascii")
        chunk.append(data)
        written += len(data)
        n += 1
        if len(chunk) >= 512:
            out.write(b"".join(chunk))
            chunk = []
    out.write(b"".join(chunk))


def write_flat(out, lines):
    batch = 100000
    for start in range(0, lines, batch):
        out.write(b"".join(b"Setting%d = %d ; flat\r\n" % (i, i % 97)
                           for i in range(start, min(lines, start + batch))))


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    group = parser.add_mutually_exclusive_group(required=True)
    group.add_argument("--megabytes", type=int)
    group.add_argument("--flat-lines", type=int)
    parser.add_argument("out")
    args = parser.parse_args()
    with open(args.out, "wb") as out:
        if args.megabytes is not None:
            write_objects(out, args.megabytes)
        else:
            write_flat(out, args.flat_lines)


if __name__ == "__main__":
    main()
