#pragma once

// Prints replug_connect_s (the median) and replug_connect_worst_s.
void MeasureReplugConnect();
