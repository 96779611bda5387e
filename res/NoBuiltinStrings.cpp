// Windows: the modules hold their own string tables.
void RegisterBuiltinStringTables() {}
