#pragma once

// Every class of the definition object model, for code that works with whole definitions.
#include "definition/adx_bitmask.h"
#include "definition/adx_commands.h"
#include "definition/adx_dashboard.h"
#include "definition/adx_definition.h"
#include "definition/adx_histogram.h"
#include "definition/adx_list_view.h"
#include "definition/adx_lookup_table.h"
#include "definition/adx_macro.h"
#include "definition/adx_monitor.h"
#include "definition/adx_object.h"
#include "definition/adx_value.h"
#include "definition/id_hash.h"
