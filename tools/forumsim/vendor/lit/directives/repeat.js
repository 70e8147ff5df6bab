export*from"lit-html/directives/repeat.js";
//# sourceMappingURL=repeat.js.map
