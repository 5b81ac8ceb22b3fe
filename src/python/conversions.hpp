// Every conversion of Python and NumPy arguments, one header per job: scalars,
// sequences and dicts, NumPy arrays, segmentation columns, argument groups.
#pragma once

#include "python/argument_groups.hpp"
#include "python/arrays.hpp"
#include "python/column_labels.hpp"
#include "python/scalars.hpp"
#include "python/sequences.hpp"
