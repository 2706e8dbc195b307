// Filled in with the unit.
