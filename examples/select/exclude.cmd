/*
 * Excluding sections: without a SECTIONS directive every initialized
 * section is converted, except those that match an -exclude pattern.
 * ".trace*" matches every name that begins with .trace.
 */
app
-romwidth 32
-o exclude.hex
-map exclude.map
-exclude .trace*            /* .trace and .trace_buf */
-exclude .const
