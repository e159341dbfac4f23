#!/usr/bin/env python3
"""Tools nobody on this project wrote, run against the virtual drive through
libqmvd-preload.so, and compared with quillmark-cli's own view of the same
drive. One case a run:

    peers.py CASE            (QM_CLI, QMVD_PRELOAD and QM_PEER_WORK in the environment)

Exit 0: passed; 77: skipped (a tool is missing); anything else: failed.
"""
import filecmp
import json
import os
import re
import shutil
import subprocess
import sys

SKIP = 77
CLI = os.environ.get("QM_CLI", "quillmark-cli")
PRELOAD = os.environ.get("QMVD_PRELOAD", "")
WORK = os.environ.get("QM_PEER_WORK", "/tmp/qm-peers")
NODE, ALIAS = "/dev/qmvd0", "/dev/sdqv"
SAMPLE = {"model": "WDC WD5000AAKS-00V1A0", "serial": "WD-WCAWF1939879",
          "firmware": "05.01D05", "sectors": 976773168}


class Skip(Exception):
    pass


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


def need(*tools):
    for t in tools:
        if not shutil.which(t):
            raise Skip(f"{t} is not installed (the peer set-up could not install it)")


def workdir(name):
    d = os.path.join(WORK, name)
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)
    return d


def run(cmd, preload=False, vdrive=None, state=None, log=None, ok=(0,), binary=False, home=None):
    env = dict(os.environ)
    for k in ("LD_PRELOAD", "QMVD_VDRIVE", "QMVD_STATE", "QMVD_LOG"):
        env.pop(k, None)
    if home:  # where our module writes keep their journal
        env["XDG_DATA_HOME"] = home
    if preload:
        env["LD_PRELOAD"] = PRELOAD
        if vdrive:
            env["QMVD_VDRIVE"] = vdrive
        if state:
            env["QMVD_STATE"] = state
        if log:
            env["QMVD_LOG"] = log
    p = subprocess.run(cmd, env=env, capture_output=True, timeout=120)
    out = p.stdout if binary else p.stdout.decode("utf-8", "replace")
    if ok is not None and p.returncode not in ok:
        raise Failure(f"{' '.join(cmd)} exited {p.returncode}\n{p.stdout.decode('utf-8', 'replace')}"
                      f"{p.stderr.decode('utf-8', 'replace')}")
    return p.returncode, out, p.stderr.decode("utf-8", "replace")


def cli_identity(args):
    _, out, _ = run([CLI] + args + ["identify"], preload="--api" in args and "--demo" not in args)
    m = re.match(r"^(.*) FW:(\S*) SN:(\S*)$", out.strip())
    check(m, f"quillmark-cli identify printed {out!r}")
    return {"model": m.group(1), "firmware": m.group(2), "serial": m.group(3)}


def drive_ini_sectors(state):
    with open(os.path.join(state, "drive.ini")) as f:
        m = re.search(r"^Sectors=(\d+)", f.read(), re.M)
    check(m, "the state folder's drive.ini has no Sectors")
    return int(m.group(1))


def smartctl_json(vdrive=None, state=None):
    # Bits 0-2 of the exit status are command-line, open and command failures.
    rc, out, err = run(["smartctl", "-j", "-a", "-d", "sat", ALIAS], preload=True, vdrive=vdrive,
                       state=state, ok=None)
    check(rc & 0x07 == 0, f"smartctl -a exited {rc}:\n{out}{err}")
    return json.loads(out)


def cli_smart(folder=None):
    args = ["--vdrive", folder] if folder else ["--demo"]
    rc, out, err = run([CLI] + args + ["smart", "--json"], ok=(0, 4))
    return rc, json.loads(out)


# ---- smartctl ------------------------------------------------------------------

def case_smartctl_identity():
    need("smartctl")
    state = workdir("smartctl_identity")
    j = smartctl_json(state=state)
    ours = cli_identity(["--demo"])
    sectors = drive_ini_sectors(state)
    check(j["model_name"] == ours["model"], f"model {j['model_name']!r} vs ours {ours['model']!r}")
    check(j["serial_number"] == ours["serial"], f"serial {j['serial_number']!r} vs {ours['serial']!r}")
    check(j["firmware_version"] == ours["firmware"],
          f"firmware {j['firmware_version']!r} vs {ours['firmware']!r}")
    check(j["user_capacity"]["blocks"] == sectors,
          f"capacity {j['user_capacity']['blocks']} sectors vs the drive's {sectors}")
    check(j["user_capacity"]["bytes"] == sectors * 512, "capacity in bytes")
    check(j["logical_block_size"] == 512, "logical block size")


def case_smartctl_extended():
    # Everything the drive's identify data announces, smartctl -x finds.
    need("smartctl")
    rc, out, err = run(["smartctl", "-x", "-d", "sat", ALIAS], preload=True, ok=None)
    check(rc & 0x07 == 0, f"smartctl -x exited {rc}:\n{out}{err}")
    bad = [l for l in out.splitlines() if re.search(r"failed|not supported by|0 000000 000000000", l,
                                                     re.I)]
    check(not bad, "smartctl -x found announced features missing:\n" + "\n".join(bad))
    check("No Errors Logged" in out and "No self-tests have been logged" in out,
          f"smartctl -x did not read the error and self-test logs:\n{out}")


def compare_attributes(j, ours):
    theirs = {a["id"]: a for a in j["ata_smart_attributes"]["table"]}
    mine = {a["id"]: a for a in ours["attributes"]}
    check(sorted(theirs) == sorted(mine), f"attribute ids {sorted(theirs)} vs ours {sorted(mine)}")
    for i, a in mine.items():
        t = theirs[i]
        for their_key, our_key in (("value", "value"), ("worst", "worst"), ("thresh", "threshold")):
            check(t[their_key] == a[our_key],
                  f"attribute {i} {our_key}: smartctl {t[their_key]}, ours {a[our_key]}")
        check(t["raw"]["value"] == a["raw"],
              f"attribute {i} raw: smartctl {t['raw']['value']}, ours {a['raw']}")


def case_smartctl_attributes():
    need("smartctl")
    j = smartctl_json()
    rc, ours = cli_smart()
    check(len(ours["attributes"]) > 0, "our S.M.A.R.T. list is empty")
    compare_attributes(j, ours)
    check(j["smart_status"]["passed"] is True, "smartctl's verdict is not PASSED")
    check(ours["verdict"] == "GOOD" and rc == 0, f"our verdict is {ours['verdict']} (exit {rc})")


def case_smartctl_failing():
    need("smartctl")
    folder = workdir("smartctl_failing")
    with open(os.path.join(folder, "drive.ini"), "w") as f:
        f.write("[Identity]\nModel=WDC WD10EZEX-00BN5A0\nSerial=WD-WCC3F0000001\n"
                "Firmware=01.01A01\nSectors=1953525168\n\n[Smart]\nStatus=failing\n")
    j = smartctl_json(vdrive=folder)
    rc, ours = cli_smart(folder)
    check(j["smart_status"]["passed"] is False, "smartctl still says PASSED")
    check(ours["verdict"] == "BAD" and rc == 4, f"our verdict is {ours['verdict']} (exit {rc})")
    check(j["model_name"] == "WDC WD10EZEX-00BN5A0", "smartctl read another drive")
    compare_attributes(j, ours)


def fault_folder(name, faults):
    folder = workdir(name)
    with open(os.path.join(folder, "drive.ini"), "w") as f:
        f.write("[Faults]\n" + faults + "\n")
    return folder


def case_smartctl_fault_device_call():
    need("smartctl")
    folder = fault_folder("smartctl_fault_device_call", "FailDeviceCalls=-1")
    rc, out, err = run(["smartctl", "-a", "-d", "sat", ALIAS], preload=True, vdrive=folder, ok=None)
    check(rc & 0x02, f"smartctl exited {rc} on a drive whose device calls fail:\n{out}")
    check("Read Device Identity failed" in out, f"smartctl did not report the failure:\n{out}")


def case_smartctl_fault_stuck_busy():
    need("smartctl")
    folder = fault_folder("smartctl_fault_stuck_busy", "StuckBusy=1")
    log = os.path.join(WORK, "smartctl_fault_stuck_busy", "trace.log")
    rc, out, err = run(["smartctl", "-a", "-d", "sat", ALIAS], preload=True, vdrive=folder, log=log,
                       ok=None)
    check(rc & 0x02, f"smartctl exited {rc} on a drive stuck busy:\n{out}")
    check("Read Device Identity failed" in out, f"smartctl did not report the failure:\n{out}")
    with open(log) as f:
        check("host=0x03" in f.read(), "the busy drive's command did not time out")


def smartctl_x_attributes(state):
    rc, out, err = run(["smartctl", "-x", "-j", "-d", "sat", ALIAS], preload=True, state=state,
                       ok=None)
    check(rc & 0x07 == 0, f"smartctl -x exited {rc}:\n{out}{err}")
    j = json.loads(out)
    for log in ("ata_smart_error_log", "ata_smart_self_test_log"):
        check(log in j, f"smartctl -x read no {log}")
    return j, {a["id"]: a for a in j["ata_smart_attributes"]["table"]}


def case_smartctl_hidden_attribute():
    # Module 0x21 edited through the device: an attribute hidden there leaves
    # the drive's S.M.A.R.T. sectors, the slots after it move up with their
    # thresholds, and showing it again brings the old table back.
    need("smartctl")
    d = workdir("smartctl_hidden_attribute")
    state, home = os.path.join(d, "state"), os.path.join(d, "home")
    j0, before = smartctl_x_attributes(state)
    check(5 in before and 7 in before, f"the sample has no attributes 5 and 7: {sorted(before)}")

    def attr(*args):
        _, out, _ = run([CLI, "--api", NODE, "m21", "attr", "--id", "5"] + list(args),
                        preload=True, state=state, home=home)
        check("written" in out, f"m21 attr {' '.join(args)} wrote nothing:\n{out}")

    attr("--hide")
    j1, after = smartctl_x_attributes(state)
    check(sorted(after) == sorted(set(before) - {5}),
          f"after hiding 5 smartctl -x lists {sorted(after)}")
    for i, a in after.items():
        for key in ("value", "worst", "thresh"):
            check(a[key] == before[i][key], f"attribute {i} {key}: {a[key]}, before {before[i][key]}")
        check(a["raw"]["value"] == before[i]["raw"]["value"], f"attribute {i} raw value moved")
    rc, ours = cli_smart_device(state)
    compare_attributes(j1, ours)
    attr("--show")
    _, again = smartctl_x_attributes(state)
    check(again == before, "showing attribute 5 again did not restore smartctl's table")


def cli_smart_device(state):
    rc, out, err = run([CLI, "--api", NODE, "smart", "--json"], preload=True, state=state, ok=(0, 4))
    return rc, json.loads(out)


# ---- odd requests through sg3-utils ---------------------------------------------

def sg_raw(args, log=None):
    rc, out, err = run(["sg_raw"] + args, preload=True, log=log, ok=None, binary=True)
    return rc, out, err


def case_sat_odd_requests():
    need("sg_raw", "sg_inq", "sg_vpd")
    d = workdir("sat_odd_requests")
    log = os.path.join(d, "trace.log")
    # IDENTIFY with sector count 0: the drive still sends its sector.
    ident = os.path.join(d, "identify.bin")
    rc, _, err = sg_raw(["-r", "512", "-o", ident, ALIAS,
                         "85", "08", "0e", "00", "00", "00", "00", "00", "00", "00", "00", "00",
                         "00", "00", "ec", "00"], log)
    check(rc == 0, f"IDENTIFY with count 0 failed: {err}")
    with open(ident, "rb") as f:
        data = f.read()
    check(len(data) == 512 and data[510] == 0xA5, "IDENTIFY with count 0 did not return the sector")
    # READ LOG EXT of a log the drive does not have: aborted, ATA registers in descriptor sense.
    rc, _, err = sg_raw(["-r", "512", ALIAS, "85", "09", "0e", "00", "00", "00", "01", "00", "e3",
                         "00", "00", "00", "00", "40", "2f", "00"], log)
    check(rc != 0 and "Aborted" in err.replace("ABORTED", "Aborted"),
          f"READ LOG EXT of a missing log: {err}")
    with open(log) as f:
        trace = f.read()
    check(re.search(r"cmd=2f .*st=51 err=04.*status=0x02 .*sense=72 0b 00 00 00 00 00 0e 09 0c",
                    trace), "no descriptor sense with the ATA status for the aborted READ LOG EXT")
    # An operation code the layer does not know: fixed sense, ILLEGAL REQUEST,
    # INVALID COMMAND OPERATION CODE.
    rc, _, err = sg_raw([ALIAS, "5c", "00", "00", "00", "00", "00", "00", "00", "00", "00"], log)
    check(rc != 0 and re.search(r"Illegal Request", err, re.I) and
          re.search(r"Invalid command operation code", err, re.I),
          f"unknown opcode: {err}")
    with open(log) as f:
        check("cdb=5c" in f.read() and re.search(r"sense=70 00 05 00 00 00 00 0a 00 00 00 00 20 00",
                                                  open(log).read()), "fixed sense for the opcode")
    # INQUIRY through sg_inq: the ATA vendor and the model, and the ATA
    # Information page with the identify data.
    _, out, _ = run(["sg_inq", ALIAS], preload=True)
    check(re.search(r"Vendor identification: ATA", out) and "WDC WD5000AAKS-0" in out,
          f"sg_inq:\n{out}")
    _, out, _ = run(["sg_vpd", "--page=ai", ALIAS], preload=True)
    check("WDC WD5000AAKS-00V1A0" in out or "WD5000AAKS" in out, f"sg_vpd ATA information:\n{out}")
    _, out, _ = run(["sg_vpd", "--page=sn", ALIAS], preload=True)
    check(SAMPLE["serial"] in out, f"sg_vpd unit serial number:\n{out}")


# ---- hdparm and sg_sat_identify ---------------------------------------------------

def case_hdparm_identity():
    need("hdparm")
    state = workdir("hdparm_identity")
    _, out, _ = run(["hdparm", "-I", ALIAS], preload=True, state=state)
    ours = cli_identity(["--demo"])
    sectors = drive_ini_sectors(state)

    def field(name):
        m = re.search(rf"^\s*{name}:\s*(.*?)\s*$", out, re.M)
        check(m, f"hdparm -I printed no {name}:\n{out}")
        return m.group(1)

    check(field("Model Number") == ours["model"], "model")
    check(field("Serial Number") == ours["serial"], "serial")
    check(field("Firmware Revision") == ours["firmware"], "firmware")
    check(int(field("LBA48  user addressable sectors")) == sectors, "LBA48 capacity")
    check(f"{sectors * 512 // 1000000} MBytes" in field("device size with M = 1000\\*1000"),
          "device size")
    # hdparm -i takes the kernel's copy of the identify data (HDIO_GET_IDENTITY).
    _, out, _ = run(["hdparm", "-i", ALIAS], preload=True)
    check(f"Model={ours['model']}, FwRev={ours['firmware']}, SerialNo={ours['serial']}" in out,
          f"hdparm -i:\n{out}")
    check(f"LBAsects={sectors}" in out, "hdparm -i capacity")


def case_hdparm_after_reset():
    # A power-on reset sent through the device (vendor key 0x1C) leaves the
    # drive answering: the same identify sector, with a valid checksum, for
    # hdparm and for us, and the timer the key sequence reads.
    need("hdparm", "sg_sat_identify")
    d = workdir("hdparm_after_reset")
    state = os.path.join(d, "state")
    _, before, _ = run(["hdparm", "-I", ALIAS], preload=True, state=state)
    _, sector, _ = run(["sg_sat_identify", "-r", ALIAS], preload=True, state=state, binary=True)
    _, out, _ = run([CLI, "--api", NODE, "reset"], preload=True, state=state)
    check("Power On Reset Immediate: done" in out, f"quillmark-cli reset:\n{out}")
    _, after, _ = run(["hdparm", "-I", ALIAS], preload=True, state=state)
    check(after == before, f"hdparm -I differs after the reset:\n{before}\n---\n{after}")
    check(re.search(r"Checksum:\s*correct", after), f"hdparm -I checksum:\n{after}")
    _, sector_after, _ = run(["sg_sat_identify", "-r", ALIAS], preload=True, state=state,
                             binary=True)
    check(len(sector_after) == 512 and sector_after == sector,
          "the identify sector changed across the reset")
    _, out, _ = run([CLI, "--api", NODE, "identify"], preload=True, state=state)
    want = f"{SAMPLE['model']} FW:{SAMPLE['firmware']} SN:{SAMPLE['serial']}"
    check(out.strip() == want, f"quillmark-cli identify after the reset: {out!r}")
    _, out, _ = run(["hdparm", "-J", ALIAS], preload=True, state=state)
    check(re.search(r"wdidle3\s*=", out), f"hdparm -J after the reset:\n{out}")


def case_sg_sat_identify():
    need("sg_sat_identify")
    state = workdir("sg_sat_identify")
    # The drive writes its identify sector into the state folder.
    run([CLI, "--api", NODE, "identify"], preload=True, state=state)
    with open(os.path.join(state, "identify.bin"), "rb") as f:
        ours = f.read()
    check(len(ours) == 512, "identify.bin is not one sector")
    for length in ("16", "12"):
        _, out, _ = run(["sg_sat_identify", "-l", length, "-r", ALIAS], preload=True, state=state,
                        binary=True)
        check(out == ours, f"ATA PASS-THROUGH({length}) identify differs from the drive's sector")


# ---- idle3 timer across three tools -------------------------------------------------

def idle3_reads(state):
    _, out, _ = run(["idle3ctl", "-g", ALIAS], preload=True, state=state)
    m = re.search(r"Idle3 timer set to (\d+)", out)
    check(m or "Idle3 timer is disabled" in out, f"idle3ctl -g:\n{out}")
    a = int(m.group(1)) if m else 0
    _, out, _ = run(["hdparm", "-J", ALIAS], preload=True, state=state)
    m = re.search(r"wdidle3\s*=\s*(.*)$", out, re.M)
    check(m, f"hdparm -J:\n{out}")
    b = m.group(1).strip()
    _, out, _ = run([CLI, "--api", NODE, "idle3"], preload=True, state=state)
    m = re.search(r"Idle3 timer: (\d+)", out)
    check(m, f"quillmark-cli idle3:\n{out}")
    return a, b, int(m.group(1))


def hdparm_j_text(raw):
    # hdparm's wording of a raw timer value.
    if raw == 0:
        return "disabled"
    if raw <= 128:
        return f"{raw / 10:.1f} secs"
    return f"{(raw - 128) * 30} secs"


def case_idle3_round_trip():
    need("idle3ctl", "hdparm")
    state = workdir("idle3_round_trip")
    # Set by idle3ctl (raw value), by hdparm (seconds) and by us (raw value).
    steps = [(["idle3ctl", "-s", "100", ALIAS], 100),
             (["hdparm", "--please-destroy-my-drive", "-J", "300", ALIAS], 138),
             ([CLI, "--api", NODE, "idle3", "--set", "90"], 90),
             (["idle3ctl", "-d", ALIAS], 0)]
    for cmd, raw in steps:
        run(cmd, preload=True, state=state)
        a, b, c = idle3_reads(state)
        check(a == raw and c == raw, f"after {cmd[0]}: idle3ctl {a}, ours {c}, expected {raw}")
        if raw == 0:
            check(b.startswith("disabled") or b.startswith("0"), f"hdparm -J says {b!r}")
        else:
            check(b.startswith(hdparm_j_text(raw)), f"hdparm -J says {b!r} for {raw}")


# ---- our own CLI through the Linux SG_IO backend --------------------------------------

def both(mode, args, out_files=(), state=None):
    """Runs args in-process (--demo) and through the preload (--api NODE --mode); compares."""
    d = workdir(f"cli_{mode}_{args[0]}")
    results = []
    for side in ("demo", "api"):
        side_dir = os.path.join(d, side)
        os.makedirs(side_dir)
        a = [x.replace("@", side_dir) for x in args]
        drive = ["--demo", "--api", NODE, f"--{mode}"] if side == "demo" else ["--api", NODE,
                                                                            f"--{mode}"]
        rc, out, err = run([CLI] + drive + a, preload=side == "api", state=state, ok=None)
        out = out.replace(side_dir, "@")
        results.append((rc, out, side_dir))
    (rc_demo, out_demo, dir_demo), (rc_api, out_api, dir_api) = results
    check(rc_demo == 0, f"in-process run failed ({rc_demo}):\n{out_demo}")
    check((rc_demo, out_demo) == (rc_api, out_api),
          f"--demo: {rc_demo}\n{out_demo}\n--api {NODE} --{mode}: {rc_api}\n{out_api}")
    for name in out_files:
        pa, pb = os.path.join(dir_demo, name), os.path.join(dir_api, name)
        if os.path.isdir(pa):
            cmp = filecmp.dircmp(pa, pb)
            check(not (cmp.left_only or cmp.right_only or cmp.diff_files or cmp.funny_files),
                  f"{name}/ differs: {cmp.left_only} {cmp.right_only} {cmp.diff_files}")
            deep_compare(pa, pb)
        else:
            check(filecmp.cmp(pa, pb, shallow=False), f"{name} differs between the transports")
    return dir_demo, dir_api


def deep_compare(a, b):
    for root, dirs, files in os.walk(a):
        rel = os.path.relpath(root, a)
        for name in files:
            pa, pb = os.path.join(root, name), os.path.join(b, rel, name)
            check(os.path.exists(pb), f"{rel}/{name} missing through the device")
            check(filecmp.cmp(pa, pb, shallow=False), f"{rel}/{name} differs")


def case_cli_identify(mode):
    both(mode, ["identify"])


def case_cli_smart(mode):
    both(mode, ["smart", "--json"])


def case_cli_module_read(mode):
    both(mode, ["module", "read", "21", "-o", "@/mod21.rpm"], out_files=["mod21.rpm"])
    both(mode, ["module", "read", "1", "-o", "@/mod01.rpm"], out_files=["mod01.rpm"])


def case_cli_table_read(mode):
    both(mode, ["table", "read", "1", "0", "-o", "@/t01.bin"], out_files=["t01.bin"])
    both(mode, ["table", "read", "D", "1", "-o", "@/t0d.bin"], out_files=["t0d.bin"])


def case_cli_backup(mode):
    both(mode, ["backup", "@/backup"], out_files=["backup"])


def case_cli_module_write(mode):
    need_cli("module")
    d = workdir(f"cli_{mode}_module_write")
    # A changed module 0x21 with its checksum put right.
    image = os.path.join(d, "mod21.rpm")
    run([CLI, "--demo", "module", "read", "21", "-o", image])
    with open(image, "r+b") as f:
        data = bytearray(f.read())
        data[600] ^= 0x5A
        f.seek(0)
        f.write(data)
    run([CLI, "module", "checksum", image, "--fix"], ok=(0, 1))
    # In process: a drive folder written from the sample, written to with --persist.
    folder = os.path.join(d, "folder")
    run([CLI, "--api", NODE, "identify"], preload=True, state=folder)  # the sample as a folder
    state = os.path.join(d, "state")
    shutil.copytree(folder, state)
    outs = []
    for side in ("demo", "api"):
        back = os.path.join(d, f"back-{side}.rpm")
        if side == "demo":
            w = run([CLI, "--vdrive", folder, "--persist", "--api", NODE, f"--{mode}", "module",
                     "write", "21", image], ok=None)
            r = run([CLI, "--vdrive", folder, "--api", NODE, f"--{mode}", "module", "read", "21",
                     "-o", back], ok=None)
        else:
            w = run([CLI, "--api", NODE, f"--{mode}", "module", "write", "21", image],
                    preload=True, state=state, ok=None)
            r = run([CLI, "--api", NODE, f"--{mode}", "module", "read", "21", "-o", back],
                    preload=True, state=state, ok=None)
        check(w[0] == 0, f"{side}: module write failed ({w[0]}):\n{w[1]}{w[2]}")
        check(r[0] == 0, f"{side}: module read failed ({r[0]}):\n{r[1]}{r[2]}")
        outs.append((w[0], w[1].replace(d, "@"), r[0], r[1].replace(back, "@")))
        check(filecmp.cmp(back, image, shallow=False), f"{side}: the module read back differs")
    check(outs[0] == outs[1], f"--demo and the device differ:\n{outs[0]}\n{outs[1]}")


def need_cli(command):
    _, out, _ = run([CLI, "--help"])
    if not re.search(rf"^\s+{command}\b", out, re.M):
        raise Skip(f"quillmark-cli has no '{command}' command yet")


CASES = {
    "smartctl_identity": case_smartctl_identity,
    "smartctl_attributes": case_smartctl_attributes,
    "smartctl_failing": case_smartctl_failing,
    "smartctl_extended": case_smartctl_extended,
    "smartctl_fault_device_call": case_smartctl_fault_device_call,
    "smartctl_fault_stuck_busy": case_smartctl_fault_stuck_busy,
    "sat_odd_requests": case_sat_odd_requests,
    "hdparm_identity": case_hdparm_identity,
    "hdparm_after_reset": case_hdparm_after_reset,
    "smartctl_hidden_attribute": case_smartctl_hidden_attribute,
    "sg_sat_identify": case_sg_sat_identify,
    "idle3_round_trip": case_idle3_round_trip,
}
for _mode in ("ata", "scsi"):
    for _name, _fn in (("identify", case_cli_identify), ("smart", case_cli_smart),
                       ("module_read", case_cli_module_read),
                       ("module_write", case_cli_module_write),
                       ("table_read", case_cli_table_read), ("backup", case_cli_backup)):
        CASES[f"cli_{_name}_{_mode}"] = (lambda f, m: lambda: f(m))(_fn, _mode)


def main():
    if len(sys.argv) != 2 or sys.argv[1] not in CASES:
        print(f"usage: peers.py CASE\ncases: {' '.join(CASES)}", file=sys.stderr)
        return 2
    if not PRELOAD or not os.path.exists(PRELOAD):
        print(f"SKIP: no preload library at {PRELOAD!r}")
        return SKIP
    try:
        if sys.argv[1].startswith("cli_backup"):
            need_cli("backup")
        if sys.argv[1].startswith("idle3"):
            need_cli("idle3")
        CASES[sys.argv[1]]()
    except Skip as e:
        print(f"SKIP: {e}")
        return SKIP
    except Failure as e:
        print(f"FAIL: {e}")
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
