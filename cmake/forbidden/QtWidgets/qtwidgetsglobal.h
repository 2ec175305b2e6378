#error "lumbra_core links Qt Core, Network and Xml only: move this code to lumbra_gui"
