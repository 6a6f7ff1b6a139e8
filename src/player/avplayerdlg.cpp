// placeholder until its issue lands
