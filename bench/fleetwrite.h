#pragma once

// fleet_ratio: a --all-adapters --write of a file in which every setting differs, to eight
// instruments at once against one alone; fleet_cpu: the program's CPU per instrument-second.
void MeasureFleetWrite();
