#!/bin/bash
# The figures of README "Changing the aircraft" for one aircraft: cruise speed
# (cruise, 40-60 s), climb with the beat alone (takeoff, 6-21 s), full-roll
# turn rate (turn_left, 30-50 s) and the speed kept in that turn.
# usage (in build/run): ../../bench/aircraft/aircraft_figures.sh LABEL [tarn-flight aircraft options...]
label=$1; shift
S=../../tests/aircraft/scenarios
../tarn-flight $S/cruise.txt "$@" --csv ${TMPDIR:-/tmp}/aircraft-figures-cruise.csv >/dev/null 2>&1
../tarn-flight $S/takeoff.txt "$@" --csv ${TMPDIR:-/tmp}/aircraft-figures-takeoff.csv >/dev/null 2>&1
../tarn-flight $S/turn_left.txt "$@" --csv ${TMPDIR:-/tmp}/aircraft-figures-turn.csv >/dev/null 2>&1
python3 - "$label" <<'PY'
import csv,os,sys
def load(n):
    r=list(csv.reader(open(os.environ.get('TMPDIR','/tmp')+'/aircraft-figures-%s.csv'%n))); h=r[0]
    return [dict(zip(h,map(float,x))) for x in r[1:]]
def mean(rows,c,a,b):
    v=[r[c] for r in rows if a<=r['time']<=b]; return sum(v)/len(v)
def rate(rows,a,b):
    t=0; prev=None
    for r in rows:
        if a<=r['time']<=b:
            if prev is not None:
                d=r['heading']-prev; d-=360*round(d/360); t+=d
            prev=r['heading']
    return t/(b-a)
c=load('cruise'); k=load('takeoff'); t=load('turn')
cruise=mean(c,'speed',40,60); climb=mean(k,'vz',6,21); turn=rate(t,30,50); keep=mean(t,'speed',30,50)/mean(t,'speed',15,20)
print("%-22s cruise %5.2f m/s  climb %5.2f m/s  full-roll turn %6.1f deg/s  speed kept in turn %3.0f%%"%(sys.argv[1],cruise,climb,abs(turn),100*keep))
PY
